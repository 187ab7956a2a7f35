// The device utilities in-process, for what only the process itself sees:
// device handles preset in the exported globals, and the results of the
// factory-reset watcher once daemon() has detached it.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
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

// What the watcher saw at its end: its result, the globals, whether the
// descriptors they held before are still open, and its process id.
struct WatcherEnd {
    int result, facHandle, customHandle;
    bool facOpen, customOpen;
    pid_t pid;
};

// fResetMain runs in a child, as the firmware starts it, with the button
// device preset in fac_driver_handle (its node gone, so no open can
// succeed) and a pipe end in fac_custom_driver_handle.  The watcher that
// daemon() detaches reports through a pipe and is reaped here.
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
        int fac = adpOpen("/dev/fac_dev", 0, 0), custom[2], report[2];
        ASSERT_EQ(write(fac, &c.press, 1), 1);
        std::filesystem::remove(sim.path("dev/fac_dev"));
        ASSERT_EQ(pipe(custom), 0);
        ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        std::fflush(nullptr);
        pid_t caller = fork();
        if (caller == 0) {
            setenv("PATH", (sim.path("bin") + ":" + getenv("PATH")).c_str(), 1);
            setenv("STUBS", sim.path("").c_str(), 1);
            setenv("FAIL_LINE", c.failLine, 1);
            setenv("FAIL_AT", std::to_string(c.failAt).c_str(), 1);
            fac_driver_handle = fac, fac_custom_driver_handle = custom[0];
            char name[] = "fReset", *argv[] = {name, nullptr};
            WatcherEnd end{fResetMain(1, argv), fac_driver_handle, fac_custom_driver_handle,
                           isOpen(fac), isOpen(custom[0]), getpid()};
            (void)!write(report[1], &end, sizeof end);
            _exit(0);
        }
        close(report[1]);
        WatcherEnd end{};
        EXPECT_EQ(read(report[0], &end, sizeof end), ssize_t(sizeof end));
        int status;
        EXPECT_EQ(waitpid(caller, &status, 0), caller);
        EXPECT_EQ(status, 0);  // the caller ends once the watcher detached
        EXPECT_NE(end.pid, caller);
        waitpid(end.pid, &status, 0);
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        for (int fd : {fac, custom[0], custom[1], report[0]}) close(fd);

        std::string calls;
        for (int i = 0; c.ledSeries && i < 20; ++i) calls += "ledTog 0 4\nledTog 1 4\n";
        EXPECT_EQ(sim.read("calls"), calls + c.after);
        bool closed = c.result == 0;
        EXPECT_EQ(std::tuple(end.result, end.facHandle, end.customHandle, end.facOpen, end.customOpen),
                  std::tuple(c.result, closed ? -1 : fac, closed ? -1 : custom[0], !closed, !closed));
    }
}

}  // namespace
