// The device utilities in-process: device handles preset in the exported
// globals, and the factory-reset watcher's results, which only the detached
// watcher itself gets to see.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim_dir.hpp"

namespace {

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

int ledTog(std::vector<std::string> words) {
    words.insert(words.begin(), "ledTog");
    std::vector<char *> argv;
    for (auto &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    return ledTogMain(static_cast<int>(words.size()), argv.data());
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(LedTog, UsesAPresetHandleAndOpensAnewOnceItIsClosed) {
    SimDir sim;
    int fd = adpOpen("/dev/led_dev", 0, 0);
    ASSERT_GE(fd, 0);
    std::filesystem::remove(sim.path("dev/led_dev"));  // from now on an open fails
    led_driver_handle = fd;

    testing::internal::CaptureStdout();
    EXPECT_EQ(ledTog({"1", "2"}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "toggle led 2 to ON\n");
    auto log = lines(sim.read("led.log"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].ends_with(" 2 on")) << log[0];
    EXPECT_FALSE(isOpen(fd));
    EXPECT_EQ(led_driver_handle, -1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(ledTog({"0", "2"}), -1);  // not the closed handle again: the open fails
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "can't open device led_dev\n");
    EXPECT_EQ(lines(sim.read("led.log")).size(), 1u);
}

// Stands in for ledTog, cfg and reboot: records its command line and fails
// the FAIL_AT-th call of the line FAIL_LINE.
constexpr const char *stub = R"sh(#!/bin/sh
line="${0##*/}${*:+ $*}"
echo "$line" >> "$STUBS/calls"
[ "$line" != "$FAIL_LINE" ] || [ "$(grep -cxF "$line" "$STUBS/calls")" != "$FAIL_AT" ]
)sh";

// How the watcher ended, reported by whichever process returned from fResetMain.
struct WatcherEnd {
    pid_t pid;
    int result;
    int facHandle, customHandle;  // the globals afterwards
    bool facOpen, customOpen;     // the descriptors they held before
    bool detached;                // it was not the process that called it
};

struct Watcher {
    SimDir sim;

    Watcher() {
        std::filesystem::create_directory(sim.path("bin"));
        sim.write("bin/stub", stub);
        std::filesystem::permissions(sim.path("bin/stub"), std::filesystem::perms::owner_all);
        for (const char *name : {"ledTog", "cfg", "reboot"})
            std::filesystem::create_symlink("stub", sim.path(std::string("bin/") + name));
    }

    // Runs fResetMain in a child, as the firmware starts it.  The watcher
    // that daemon() detaches is reparented to this process and reaped here.
    WatcherEnd run(const std::string &failLine = "", int failAt = 0) {
        int facFd = fac_driver_handle, customFd = fac_custom_driver_handle;
        int report[2];
        EXPECT_EQ(pipe2(report, O_CLOEXEC), 0);
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        std::fflush(nullptr);
        pid_t caller = fork();
        if (caller == 0) {
            close(report[0]);
            setenv("PATH", (sim.path("bin") + ":" + getenv("PATH")).c_str(), 1);
            setenv("STUBS", sim.path("").c_str(), 1);
            setenv("FAIL_LINE", failLine.c_str(), 1);
            setenv("FAIL_AT", std::to_string(failAt).c_str(), 1);
            char name[] = "fReset";
            char *argv[] = {name, nullptr};
            int result = fResetMain(1, argv);
            WatcherEnd end{getpid(),       result, fac_driver_handle, fac_custom_driver_handle,
                           facFd >= 0 && isOpen(facFd), customFd >= 0 && isOpen(customFd), false};
            (void)!write(report[1], &end, sizeof end);
            _exit(0);
        }
        close(report[1]);
        WatcherEnd end{};
        EXPECT_EQ(read(report[0], &end, sizeof end), static_cast<ssize_t>(sizeof end));
        close(report[0]);
        int status;
        EXPECT_EQ(waitpid(caller, &status, 0), caller);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        end.detached = end.pid > 0 && end.pid != caller;
        if (end.detached) waitpid(end.pid, &status, 0);
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        return end;
    }

    std::vector<std::string> calls() const { return lines(sim.read("calls")); }

    // Presets fac_driver_handle with the button device, already pressed
    // (`outcome` is the driver's answer), and takes the node away so that
    // an open by the watcher would fail.
    int pressed(char outcome) {
        int fd = adpOpen("/dev/fac_dev", 0, 0);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, &outcome, 1), 1);
        std::filesystem::remove(sim.path("dev/fac_dev"));
        return fac_driver_handle = fd;
    }
};

struct Case {
    const char *name;
    char press;                 // the driver's answer to the press request
    const char *failLine;       // the stand-in command line that fails ...
    int failAt;                 // ... at its failAt-th call
    bool customSet;             // fac_custom_driver_handle holds a descriptor
    int result;
    std::vector<std::string> firmwareCalls;  // after the LED series
    bool ledSeries, handlesClosed;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class FactoryReset : public testing::TestWithParam<Case> {};

TEST_P(FactoryReset, EndsAsItShould) {
    const Case &c = GetParam();
    Watcher w;
    int fac = w.pressed(c.press);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    fac_custom_driver_handle = c.customSet ? pipeFds[0] : -1;

    WatcherEnd end = w.run(c.failLine, c.failAt);
    EXPECT_EQ(end.result, c.result);
    EXPECT_TRUE(end.detached);

    std::vector<std::string> series, calls = w.calls();
    for (int i = 0; c.ledSeries && i < 20; ++i) {
        series.push_back("ledTog 0 4");
        series.push_back("ledTog 1 4");
    }
    series.insert(series.end(), c.firmwareCalls.begin(), c.firmwareCalls.end());
    EXPECT_EQ(calls, series);

    EXPECT_EQ(end.facOpen, !c.handlesClosed);
    EXPECT_EQ(end.facHandle, c.handlesClosed ? -1 : fac);
    int custom = c.customSet ? pipeFds[0] : -1;
    EXPECT_EQ(end.customOpen, c.customSet && !c.handlesClosed);
    EXPECT_EQ(end.customHandle, c.customSet && c.handlesClosed ? -1 : custom);

    adpClose(fac);
    close(pipeFds[0]);
    close(pipeFds[1]);
    fac_driver_handle = fac_custom_driver_handle = -1;
}

const std::vector<std::string> restoreAndReboot{"cfg R", "reboot"};

INSTANTIATE_TEST_SUITE_P(
    Watcher, FactoryReset,
    testing::Values(
        Case{"Reset", '0', "", 0, false, 0, restoreAndReboot, true, true},
        // with the custom handle set, which a reset closes
        Case{"EarlierLedFailuresDoNotCount", '0', "ledTog 1 4", 19, true, 0, restoreAndReboot,
             true, true},
        Case{"PressRequestFails", '1', "", 0, true, -1, {}, false, false},
        Case{"LastLedOnFails", '0', "ledTog 1 4", 20, true, -1, {}, true, false},
        Case{"RestoreFails", '0', "cfg R", 1, true, -1, {"cfg R"}, true, false},
        Case{"RebootFails", '0', "reboot", 1, true, -1, restoreAndReboot, true, false}),
    [](const testing::TestParamInfo<Case> &p) { return p.param.name; });

TEST(FactoryReset, MissingDeviceFailsBeforeDetaching) {
    Watcher w;
    std::filesystem::remove(w.sim.path("dev/fac_dev"));
    WatcherEnd end = w.run();
    EXPECT_EQ(end.result, -1);
    EXPECT_FALSE(end.detached);
    EXPECT_EQ(end.facHandle, -1);
    EXPECT_TRUE(w.calls().empty());
}

}  // namespace
