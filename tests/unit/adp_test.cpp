// The stand-in platform library: pass-through calls and the simulated drivers.
#include <zezarur/adp.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <vector>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim_dir.hpp"

namespace {

constexpr unsigned long memErase = 0x40084D02;
struct EraseInfo {
    uint32_t start, length;
};

int openFlash() { return adpOpen("/dev/obxcfgC", 2, 0600); }

int eraseRange(int fd, uint32_t start, uint32_t length) {
    EraseInfo e{start, length};
    return adpIoctl(fd, memErase, &e);
}

// Runs f in a child and returns how the child ended (as waitpid reports).
template <typename F>
int inChild(F f) {
    pid_t pid = fork();
    if (pid == 0) {
        f();
        _exit(0);
    }
    int status;
    waitpid(pid, &status, 0);
    return status;
}

TEST(Flash, WritesOnlyClearBits) {
    SimDir sim;
    int fd = openFlash();
    ASSERT_GE(fd, 0);
    const unsigned char a[] = {0xF0, 0x0F, 0xAA}, b[] = {0x3C, 0xFF, 0x55};
    ASSERT_EQ(adpWrite(fd, a, 3), 3);
    ASSERT_EQ(adpLseek(fd, 0, SEEK_SET), 0);
    ASSERT_EQ(adpWrite(fd, b, 3), 3);
    EXPECT_EQ(adpLseek(fd, 0, SEEK_CUR), 3);
    adpClose(fd);
    auto img = sim.flash();
    EXPECT_EQ(img[0], 0x30);
    EXPECT_EQ(img[1], 0x0F);
    EXPECT_EQ(img[2], 0x00);
    EXPECT_EQ(img[3], 0xFF);
}

TEST(Flash, WriteStopsAtTheEndOfTheDevice) {
    SimDir sim(0x40000);
    int fd = openFlash();
    unsigned char z[16] = {};
    ASSERT_EQ(adpLseek(fd, 0x40000 - 4, SEEK_SET), 0x40000 - 4);
    EXPECT_EQ(adpWrite(fd, z, 16), 4);
    errno = 0;
    EXPECT_EQ(adpWrite(fd, z, 16), -1);
    EXPECT_EQ(errno, ENOSPC);
    adpClose(fd);
}

struct EraseCase {
    uint32_t start, length;
    int err;  // 0: accepted
};

class FlashErase : public testing::TestWithParam<EraseCase> {};

TEST_P(FlashErase, AcceptsOnlyWholeSectorsInsideTheDevice) {
    SimDir sim;
    int fd = openFlash();
    std::vector<unsigned char> zeros(1 << 20, 0);
    ASSERT_EQ(adpWrite(fd, zeros.data(), 1 << 20), 1 << 20);
    auto [start, length, err] = GetParam();
    errno = 0;
    EXPECT_EQ(eraseRange(fd, start, length), err ? -1 : 0);
    if (err) {
        EXPECT_EQ(errno, err);
    }
    adpClose(fd);
    auto img = sim.flash();
    for (size_t i = 0; i < img.size(); ++i) {
        bool erased = !err && i >= start && i < size_t{start} + length;
        ASSERT_EQ(img[i], erased ? 0xFF : 0x00) << "at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, FlashErase, testing::Values(
    EraseCase{0, 0x20000, 0}, EraseCase{0x20000, 0x40000, 0}, EraseCase{0, 0x100000, 0},
    EraseCase{0xE0000, 0x20000, 0}, EraseCase{0, 0, EINVAL}, EraseCase{1, 0x20000, EINVAL},
    EraseCase{0, 0x10000, EINVAL}, EraseCase{0x10000, 0x20000, EINVAL},
    EraseCase{0xE0000, 0x40000, EINVAL}, EraseCase{0xFFFE0000, 0x40000, EINVAL}));

TEST(Flash, RefusesOtherRequests) {
    SimDir sim;
    int fd = openFlash();
    EraseInfo e{0, 0x20000};
    errno = 0;
    EXPECT_EQ(adpIoctl(fd, 0x40084D01, &e), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(adpIoctl(fd, memErase, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    adpClose(fd);
}

TEST(FlashFault, FailsTheNthWriteOrEraseOnce) {
    SimDir sim;
    int fd = openFlash();
    unsigned char z = 0;
    sim.write("flash.fault", "write 2\n");
    EXPECT_EQ(adpWrite(fd, &z, 1), 1);
    errno = 0;
    EXPECT_EQ(adpWrite(fd, &z, 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(adpWrite(fd, &z, 1), 1);
    EXPECT_EQ(eraseRange(fd, 0, 0x20000), 0);  // a write fault leaves erases alone

    sim.write("flash.fault", "erase 1\n");
    EXPECT_EQ(adpWrite(fd, &z, 1), 1);
    EXPECT_EQ(eraseRange(fd, 0, 0x20000), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(eraseRange(fd, 0, 0x20000), 0);
    adpClose(fd);
}

TEST(FlashFault, PowerCutKillsTheWriterAfterExactlyNBytes) {
    SimDir sim;
    sim.write("flash.fault", "cut 10\n");
    int status = inChild([] {
        int fd = openFlash();
        unsigned char z[8] = {};
        adpWrite(fd, z, 8);  // 8 of the 10 bytes
        adpWrite(fd, z, 8);  // dies after 2 more
        _exit(3);
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    auto img = sim.flash();
    EXPECT_EQ(std::count(img.begin(), img.begin() + 16, 0x00), 10);
    EXPECT_EQ(img[10], 0xFF);
    EXPECT_FALSE(std::filesystem::exists(sim.path("flash.fault")));
}

TEST(FlashFault, PowerCutDuringAnEraseLeavesItPartlyDone) {
    SimDir sim;
    int fd = openFlash();
    std::vector<unsigned char> zeros(0x20000, 0);
    ASSERT_EQ(adpWrite(fd, zeros.data(), 0x20000), 0x20000);
    adpClose(fd);
    sim.write("flash.fault", "cut 100\n");
    int status = inChild([] { eraseRange(openFlash(), 0, 0x20000); });
    ASSERT_TRUE(WIFSIGNALED(status));
    auto img = sim.flash();
    EXPECT_EQ(std::count(img.begin(), img.begin() + 0x20000, 0xFF), 100);
    EXPECT_EQ(img[99], 0xFF);
    EXPECT_EQ(img[100], 0x00);
}

TEST(PassThrough, WithoutSandboxFilesAreWrittenPlainly) {
    SimDir sim;
    std::string file = sim.path("plain");
    unsetenv("ZEZARUR_SIM");
    int fd = adpOpen(file.c_str(), 578, 0600);
    ASSERT_GE(fd, 0);
    unsigned char a = 0x0F, b = 0xF0;
    adpWrite(fd, &a, 1);
    adpLseek(fd, 0, SEEK_SET);
    adpWrite(fd, &b, 1);
    adpClose(fd);
    EXPECT_EQ(sim.read("plain"), "\xF0");
    EXPECT_LT(adpOpen("/dev/obxcfgC", 2, 0600), 0);  // no simulated flash on this machine
}

struct SignalCase {
    const char *node;
    unsigned long request;
    char byte;
    int result;
};

class BlockingRequest : public testing::TestWithParam<SignalCase> {};

TEST_P(BlockingRequest, WaitsForTheSandboxByte) {
    SimDir sim;
    const SignalCase c = GetParam();
    const char *node = c.node;
    const unsigned long request = c.request;
    int fd = adpOpen(node, 0, 0);
    ASSERT_GE(fd, 0);
    int arg = 0;
    auto waiting = std::async(std::launch::async, [&] { return adpIoctl(fd, request, &arg); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    int w = open(sim.path(std::string("dev/") + (node + 5)).c_str(), O_WRONLY);
    ASSERT_EQ(write(w, &c.byte, 1), 1);
    close(w);
    EXPECT_EQ(waiting.get(), c.result);
    errno = 0;
    EXPECT_EQ(adpIoctl(fd, request + 1, &arg), -1);  // other codes never block
    EXPECT_EQ(errno, ENOTTY);
    adpClose(fd);
}

INSTANTIATE_TEST_SUITE_P(Devices, BlockingRequest, testing::Values(
    SignalCase{"/dev/kdump", 0x6500, '0', 0}, SignalCase{"/dev/kdump", 0x6500, 'f', -1},
    SignalCase{"/dev/fac_dev", 0x0D01, '0', 0}, SignalCase{"/dev/fac_dev", 0x0D01, '1', 1},
    SignalCase{"/dev/fac_dev", 0x0D01, 'f', -1}));

TEST(Led, KeepsStateAndLogsEveryRequest) {
    SimDir sim;
    int fd = adpOpen("/dev/led_dev", 0, 0);
    ASSERT_GE(fd, 0);
    int led = 4;
    EXPECT_EQ(adpIoctl(fd, 0x40040C01, &led), 0);
    led = 11;
    EXPECT_EQ(adpIoctl(fd, 0x40040C01, &led), 0);
    led = 4;
    EXPECT_EQ(adpIoctl(fd, 0x40040C00, &led), 0);
    for (int bad : {0, 12, -1}) {
        errno = 0;
        EXPECT_EQ(adpIoctl(fd, 0x40040C01, &bad), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_EQ(adpIoctl(fd, 0x40040C02, &led), -1);
    EXPECT_EQ(errno, ENOTTY);
    adpClose(fd);
    std::string state = sim.read("leds");
    EXPECT_NE(state.find("4 off\n"), std::string::npos);
    EXPECT_NE(state.find("11 on\n"), std::string::npos);
    EXPECT_NE(state.find("1 off\n"), std::string::npos);
    std::string log = sim.read("led.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);
    EXPECT_NE(log.find(" 4 on\n"), std::string::npos);
    EXPECT_NE(log.find(" 11 on\n"), std::string::npos);
    EXPECT_NE(log.find(" 4 off\n"), std::string::npos);
}

TEST(CmdExec, ResultFollowsTheCommand) {
    SimDir sim;
    std::string out = sim.path("out");
    EXPECT_EQ(adpCmdExec("echo hello; echo world >&2", out.c_str(), 0), 0);
    EXPECT_EQ(sim.read("out"), "hello\n");
    EXPECT_EQ(adpCmdExec("exit 3", nullptr, 0), -1);
    EXPECT_EQ(adpCmdExec("no-such-command-here 2>/dev/null", nullptr, 0), -1);
    EXPECT_EQ(adpCmdExec("true", sim.path("missing/dir/out").c_str(), 0), -1);
    EXPECT_EQ(adpCmdExec(nullptr, nullptr, 0), -1);
}

// In a network namespace of its own: a veth pair, mapped as interface 7.
int ifDevGetOnVeth(const SimDir &sim) {
    if (unshare(CLONE_NEWNET) != 0 &&
        (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0))
        return 77;
    sim.write("ifmap", "7 zz0\n8 nosuch\n");
    if (system("ip link add zz0 type veth peer name zz1 && ip addr add 10.1.2.3/24 dev zz0") != 0)
        return 77;
    ifDevInfo info;
    if (ifDevGet(&info, 0, 7) != 0 || info.ready != 0 || (info.flags & 1)) return 1;
    if (std::strcmp(info.name, "zz0") != 0) return 2;
    if (system("ip link set zz1 up && ip link set zz0 up") != 0) return 77;
    if (ifDevGet(&info, 0, 7) != 0 || info.ready != 1 || !(info.flags & 1)) return 3;
    if (info.addr != inet_addr("10.1.2.3") || info.netmask != inet_addr("255.255.255.0")) return 4;
    if (ifDevGet(&info, 0, 8) != -1 || ifDevGet(&info, 0, 9) != -1) return 5;
    return 0;
}

TEST(IfDevGet, FillsTheRecordFromTheKernel) {
    SimDir sim;
    int status = inChild([&] { _exit(ifDevGetOnVeth(sim)); });
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed check " << WEXITSTATUS(status);
}

}  // namespace
