// The device utilities in-process, for what only the process sees: handles
// preset in the globals, and the watcher's results, which no caller sees.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <unistd.h>

#include "capture.hpp"
#include "sim_dir.hpp"

// While `attached` is set, daemon() keeps the watcher in this process, where
// its result and the globals can be seen (the sandbox tests prove the
// detaching), and adpCmdExec records each command line instead of running
// it, failing the failAt-th run of failLine.
static bool attached = false;
static std::string calls, failLine;
static int failAt;

extern "C" __attribute__((visibility("default"))) int daemon(int nochdir, int noclose) {
    return attached ? 0 : reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "daemon"))(nochdir, noclose);
}

extern "C" int adpCmdExec(const char *command, const char *output, int flags) {
    using Real = int (*)(const char *, const char *, int);
    if (!attached) return reinterpret_cast<Real>(dlsym(RTLD_NEXT, "adpCmdExec"))(command, output, flags);
    calls += std::string(command) + "\n";
    return command == failLine && --failAt == 0 ? -1 : 0;
}

namespace {

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(LedTog, UsesAPresetHandleAndOpensAnewOnceItIsClosed) {
    EXPECT_EQ(std::tuple(led_driver_handle, fac_driver_handle, fac_custom_driver_handle),
              std::tuple(-1, -1, -1));  // not open before anything opens them
    SimDir sim;
    int fd = led_driver_handle = adpOpen("/dev/led_dev", 0, 0);
    std::filesystem::remove(sim.path("dev/led_dev"));  // from now on an open fails
    char name[] = "ledTog", on[] = "1", led[] = "2", *argv[] = {name, on, led, nullptr};
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argv), 0); }), "toggle led 2 to ON\n");
    EXPECT_TRUE(sim.read("led.log").ends_with(" 2 on\n"));
    EXPECT_EQ(std::pair(led_driver_handle, isOpen(fd)), std::pair(-1, false));
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argv), -1); }), "can't open device led_dev\n");
}

// With the button device preset in fac_driver_handle (its node gone, so no
// open can succeed) and a pipe end in fac_custom_driver_handle.
TEST(FactoryReset, EndsAsItShould) {
    const struct {
        char press;            // the driver's answer to the press request
        const char *failLine;  // the command line that fails ...
        int failAt;            // ... at its failAt-th run
        int result;
        bool ledSeries;
        const char *after;  // the commands after the 40 LED commands
    } rows[] = {{'0', "ledTog 1 4", 19, 0, true, "cfg R\nreboot\n"},  // earlier LED failures do not count
                {'1', "", 0, -1, false, ""},
                {'0', "ledTog 1 4", 20, -1, true, ""},
                {'0', "cfg R", 1, -1, true, "cfg R\n"},
                {'0', "reboot", 1, -1, true, "cfg R\nreboot\n"}};
    for (const auto &c : rows) {
        SCOPED_TRACE(testing::Message() << c.press << " " << c.failLine << " " << c.failAt);
        SimDir sim;
        int stdinCopy = dup(0), custom[2];
        close(0);  // descriptor 0 is a handle like any other
        int fac = fac_driver_handle = adpOpen("/dev/fac_dev", 0, 0);
        ASSERT_EQ(write(fac, &c.press, 1), 1);
        std::filesystem::remove(sim.path("dev/fac_dev"));
        ASSERT_EQ(pipe(custom), 0);
        fac_custom_driver_handle = custom[0];
        calls = "", failLine = c.failLine, failAt = c.failAt, attached = true;
        char name[] = "fReset", *argv[] = {name, nullptr};
        EXPECT_EQ(fResetMain(1, argv), c.result);
        attached = false;

        std::string series;
        for (int i = 0; c.ledSeries && i < 20; ++i) series += "ledTog 0 4\nledTog 1 4\n";
        EXPECT_EQ(calls, series + c.after);
        bool closed = c.result == 0;
        EXPECT_EQ(std::tuple(fac_driver_handle, fac_custom_driver_handle, isOpen(fac), isOpen(custom[0])),
                  std::tuple(closed ? -1 : fac, closed ? -1 : custom[0], !closed, !closed));
        for (int fd : {fac, custom[0], custom[1]}) close(fd);
        dup2(stdinCopy, 0), close(stdinCopy);
        fac_driver_handle = fac_custom_driver_handle = -1;
    }
}

}  // namespace
