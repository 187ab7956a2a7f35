// The device utilities in-process, for what only the process sees: handles
// preset in the globals, the watcher's results, which no caller sees, and the
// sleeps.  While `attached` is set, daemon() keeps the watcher in this process
// (the sandbox tests prove the detaching), adpCmdExec records each command
// line instead of running it, failing the failAt-th run of failLine, usleep
// and sleep record their argument, and the system logger's pid file is there
// once something has slept.
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

static bool attached = false, loggerUp;
static std::string calls, failLine;
static int failAt;

static bool record(const std::string &call) { return attached && (calls += call + "\n", true); }

template <typename F>
static F *real(const char *name) { return reinterpret_cast<F *>(dlsym(RTLD_NEXT, name)); }

#define INTERPOSED extern "C" __attribute__((visibility("default")))

INTERPOSED int daemon(int nochdir, int noclose) {
    return attached ? 0 : real<int(int, int)>("daemon")(nochdir, noclose);
}

INTERPOSED int adpCmdExec(const char *command, const char *output, int flags) {
    if (!record(command)) return real<int(const char *, const char *, int)>("adpCmdExec")(command, output, flags);
    return command == failLine && --failAt == 0 ? -1 : 0;
}

INTERPOSED int usleep(useconds_t us) {
    return record("usleep " + std::to_string(us)) ? 0 : real<int(useconds_t)>("usleep")(us);
}

INTERPOSED unsigned sleep(unsigned seconds) {
    if (!record("sleep " + std::to_string(seconds))) return real<unsigned(unsigned)>("sleep")(seconds);
    loggerUp = true;  // it has started meanwhile
    return 0;
}

INTERPOSED int access(const char *path, int mode) {
    if (!record(std::string("access ") + path)) return real<int(const char *, int)>("access")(path, mode);
    return loggerUp ? 0 : -1;
}

namespace {

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// A handle preset in the global is used (the node is gone: no open succeeds)
// and closed; only switching the Test LED off waits for the logger, looking
// again every 2 s.
TEST(LedTog, UsesAPresetHandleAndWaitsForTheLoggerOnlyAfterTheTestLedGoesOff) {
    EXPECT_EQ(std::tuple(led_driver_handle, fac_driver_handle, fac_custom_driver_handle),
              std::tuple(-1, -1, -1));  // not open before anything opens them
    SimDir sim;
    int device = adpOpen("/dev/led_dev", 0, 0);
    std::filesystem::remove(sim.path("dev/led_dev"));
    const std::string check = "access /var/run/metalog.pid\n";
    for (auto [words, waits] : {std::pair<std::string, std::string>{"14", ""}, {"01", ""},
                                {"04", check + "sleep 2\n" + check}}) {
        char name[] = "ledTog", s[] = {words[0], 0}, l[] = {words[1], 0}, *argv[] = {name, s, l, nullptr};
        int fd = led_driver_handle = dup(device);
        calls = "", loggerUp = false, attached = true;
        stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argv), 0); });
        attached = false;
        EXPECT_EQ(std::tuple(calls, led_driver_handle, isOpen(fd)), std::tuple(waits, -1, false)) << words;
    }
    char name[] = "ledTog", on[] = "1", led[] = "2", *argv[] = {name, on, led, nullptr};
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argv), -1); }), "can't open device led_dev\n");
    close(device);
}

// With the button device preset in fac_driver_handle (its node gone, so no
// open can succeed) and a copy of it in fac_custom_driver_handle.
TEST(FactoryReset, EndsAsItShould) {
    const struct {
        char press;            // the driver's answer to the press request
        const char *failLine;  // the command line that fails ...
        int failAt;            // ... at its failAt-th run
        int result;
        bool ledSeries;
        const char *after;  // the commands after the 20 dark phases
    } rows[] = {{'0', "ledTog 1 4", 19, 0, true, "cfg R\nreboot\n"},  // earlier LED failures do not count
                {'1', "", 0, -1, false, ""},
                {'0', "ledTog 1 4", 20, -1, true, ""},
                {'0', "cfg R", 1, -1, true, "cfg R\n"},
                {'0', "reboot", 1, -1, true, "cfg R\nreboot\n"}};
    for (const auto &c : rows) {
        SCOPED_TRACE(testing::Message() << c.press << " " << c.failLine << " " << c.failAt);
        SimDir sim;
        int stdinCopy = dup(0);
        close(0);  // descriptor 0 is a handle like any other
        int fac = fac_driver_handle = adpOpen("/dev/fac_dev", 0, 0), custom = fac_custom_driver_handle = dup(fac);
        ASSERT_EQ(write(fac, &c.press, 1), 1);
        std::filesystem::remove(sim.path("dev/fac_dev"));
        calls = "", failLine = c.failLine, failAt = c.failAt, attached = true;
        char name[] = "fReset", *argv[] = {name, nullptr};
        EXPECT_EQ(fResetMain(1, argv), c.result);
        attached = false;

        std::string series;
        for (int i = 0; c.ledSeries && i < 20; ++i) series += "ledTog 0 4\nusleep 50000\nledTog 1 4\n";
        EXPECT_EQ(calls, series + c.after);
        bool closed = c.result == 0;
        EXPECT_EQ(std::tuple(fac_driver_handle, fac_custom_driver_handle, isOpen(fac), isOpen(custom)),
                  std::tuple(closed ? -1 : fac, closed ? -1 : custom, !closed, !closed));
        close(fac), close(custom);
        dup2(stdinCopy, 0), close(stdinCopy);
        fac_driver_handle = fac_custom_driver_handle = -1;
    }
}

}  // namespace
