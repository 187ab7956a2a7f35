// The device utilities in-process, for what only the process itself sees:
// device handles preset in the exported globals, and the results of the
// factory-reset watcher, which no caller sees once it has detached.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <unistd.h>

#include "capture.hpp"
#include "sim_dir.hpp"

namespace {

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(LedTog, UsesAPresetHandleAndOpensAnewOnceItIsClosed) {
    SimDir sim;
    int fd = adpOpen("/dev/led_dev", 0, 0);
    std::filesystem::remove(sim.path("dev/led_dev"));  // from now on an open fails
    led_driver_handle = fd;
    char name[] = "ledTog", off[] = "0", on[] = "1", led[] = "2";
    char *argvOn[] = {name, on, led, nullptr}, *argvOff[] = {name, off, led, nullptr};
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argvOn), 0); }), "toggle led 2 to ON\n");
    EXPECT_NE(sim.read("led.log").find(" 2 on\n"), std::string::npos);
    EXPECT_FALSE(isOpen(fd));
    EXPECT_EQ(led_driver_handle, -1);
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argvOff), -1); }),
              "can't open device led_dev\n");
}

// Stands in for ledTog, cfg and reboot: records its command line and fails
// the FAIL_AT-th call of the line FAIL_LINE.
constexpr const char *stub = R"sh(#!/bin/sh
line="${0##*/}${*:+ $*}"
echo "$line" >> "$STUBS/calls"
[ "$line" != "$FAIL_LINE" ] || [ "$(grep -cxF "$line" "$STUBS/calls")" != "$FAIL_AT" ]
)sh";

// Stands in for the C library's daemon() while `attached` is set: the
// watcher then stays in this process, where its result and the globals can
// be seen (the sandbox tests prove the detaching).
bool attached = false;

extern "C" __attribute__((visibility("default"))) int daemon(int nochdir, int noclose) {
    static auto real = reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "daemon"));
    return attached ? 0 : real(nochdir, noclose);
}

// With the button device preset in fac_driver_handle (its node gone, so no
// open can succeed) and a pipe end in fac_custom_driver_handle.
TEST(FactoryReset, EndsAsItShould) {
    const struct {
        char press;            // the driver's answer to the press request
        const char *failLine;  // the stand-in command line that fails ...
        int failAt;            // ... at its failAt-th call
        int result;
        bool ledSeries;
        const char *after;  // the calls after the 40 LED calls
    } rows[] = {{'0', "ledTog 1 4", 19, 0, true, "cfg R\nreboot\n"},  // earlier LED failures do not count
                {'1', "", 0, -1, false, ""},
                {'0', "ledTog 1 4", 20, -1, true, ""},
                {'0', "cfg R", 1, -1, true, "cfg R\n"},
                {'0', "reboot", 1, -1, true, "cfg R\nreboot\n"}};
    for (const auto &c : rows) {
        SCOPED_TRACE(testing::Message() << c.press << " " << c.failLine << " " << c.failAt);
        SimDir sim;
        std::filesystem::create_directory(sim.path("bin"));
        sim.write("bin/stub", stub);
        std::filesystem::permissions(sim.path("bin/stub"), std::filesystem::perms::owner_all);
        for (const char *name : {"ledTog", "cfg", "reboot"})
            std::filesystem::create_symlink("stub", sim.path(std::string("bin/") + name));
        std::string path = getenv("PATH");
        setenv("PATH", (sim.path("bin") + ":" + path).c_str(), 1);
        setenv("STUBS", sim.path("").c_str(), 1);
        setenv("FAIL_LINE", c.failLine, 1);
        setenv("FAIL_AT", std::to_string(c.failAt).c_str(), 1);
        int fac = fac_driver_handle = adpOpen("/dev/fac_dev", 0, 0), custom[2];
        ASSERT_EQ(write(fac, &c.press, 1), 1);
        std::filesystem::remove(sim.path("dev/fac_dev"));
        ASSERT_EQ(pipe(custom), 0);
        fac_custom_driver_handle = custom[0];
        char name[] = "fReset", *argv[] = {name, nullptr};
        attached = true;
        EXPECT_EQ(fResetMain(1, argv), c.result);
        attached = false;
        setenv("PATH", path.c_str(), 1);

        std::string calls;
        for (int i = 0; c.ledSeries && i < 20; ++i) calls += "ledTog 0 4\nledTog 1 4\n";
        EXPECT_EQ(sim.read("calls"), calls + c.after);
        bool closed = c.result == 0;
        EXPECT_EQ(std::tuple(fac_driver_handle, fac_custom_driver_handle, isOpen(fac), isOpen(custom[0])),
                  std::tuple(closed ? -1 : fac, closed ? -1 : custom[0], !closed, !closed));
        for (int fd : {fac, custom[0], custom[1]}) close(fd);
        fac_driver_handle = fac_custom_driver_handle = -1;
    }
}

}  // namespace
