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

static bool attached = false;
static std::string calls, failLine;
static int failAt;

static bool record(const std::string &call) { return attached && (calls += call + "\n", true); }

#define INTERPOSED extern "C" __attribute__((visibility("default")))
#define REAL(f) reinterpret_cast<decltype(&f)>(dlsym(RTLD_NEXT, #f))

INTERPOSED int daemon(int nochdir, int noclose) { return attached ? 0 : REAL(daemon)(nochdir, noclose); }
INTERPOSED int adpCmdExec(const char *command, const char *output, int flags) {
    if (!record(command)) return REAL(adpCmdExec)(command, output, flags);
    return command == failLine && --failAt == 0 ? -1 : 0;
}
INTERPOSED int usleep(useconds_t us) { return record("usleep " + std::to_string(us)) ? 0 : REAL(usleep)(us); }
INTERPOSED unsigned sleep(unsigned s) { return record("sleep " + std::to_string(s)) ? 0 : REAL(sleep)(s); }
INTERPOSED int access(const char *path, int mode) {
    if (!record(std::string("access ") + path)) return REAL(access)(path, mode);
    return calls.find("\nsleep ") == std::string::npos ? -1 : 0;  // there once a sleep followed a look
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
        calls = "";
        attached = true;
        stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argv), 0); });
        attached = false;
        EXPECT_EQ(std::tuple(calls, led_driver_handle, isOpen(fd)), std::tuple(waits, -1, false)) << words;
    }
    char name[] = "ledTog", on[] = "1", led[] = "2", *argv[] = {name, on, led, nullptr};
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(ledTogMain(3, argv), -1); }), "can't open device led_dev\n");
    close(device);
}

// With the button device preset in fac_driver_handle (its node gone, so no
// open can succeed) and a copy of it in fac_custom_driver_handle.  A row: the
// driver's answer to the press request, the command line that fails at its
// failAt-th run (earlier LED failures do not count), the result, the calls.
TEST(FactoryReset, EndsAsItShould) {
    std::string series;
    for (int i = 0; i < 20; ++i) series += "ledTog 0 4\nusleep 50000\nledTog 1 4\n";
    const std::tuple<char, const char *, int, int, std::string> rows[] = {
        {'0', "ledTog 1 4", 19, 0, series + "cfg R\nreboot\n"}, {'1', "", 0, -1, ""},
        {'0', "ledTog 1 4", 20, -1, series}, {'0', "cfg R", 1, -1, series + "cfg R\n"},
        {'0', "reboot", 1, -1, series + "cfg R\nreboot\n"}};
    for (const auto &[press, fails, at, result, run] : rows) {
        SCOPED_TRACE(testing::Message() << press << " " << fails << " " << at);
        SimDir sim;
        int stdinCopy = dup(0);
        close(0);  // descriptor 0 is a handle like any other
        const int fac = adpOpen("/dev/fac_dev", 0, 0);
        const int custom = dup(fac);
        fac_driver_handle = fac;
        fac_custom_driver_handle = custom;
        ASSERT_EQ(write(fac, &press, 1), 1);
        std::filesystem::remove(sim.path("dev/fac_dev"));
        calls = "";
        failLine = fails;
        failAt = at;
        attached = true;
        char name[] = "fReset", *argv[] = {name, nullptr};
        EXPECT_EQ(fResetMain(1, argv), result);
        attached = false;
        bool open = result != 0;
        EXPECT_EQ(std::tuple(calls, fac_driver_handle, fac_custom_driver_handle, isOpen(fac), isOpen(custom)),
                  std::tuple(run, open ? fac : -1, open ? custom : -1, open, open));
        close(fac);
        close(custom);
        dup2(stdinCopy, 0);
        close(stdinCopy);
        fac_driver_handle = fac_custom_driver_handle = -1;
    }
}

}  // namespace
