// The simulated drivers behave as the router's devices do: NOR flash writes
// only clear bits and erases only whole sectors, blocking requests wait for
// the sandbox, and injected faults strike exactly where they are set.
#include <zezarur/adp.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim_dir.hpp"

namespace {

constexpr unsigned long memErase = 0x40084D02;

int eraseRange(int fd, uint32_t start, uint32_t length) {
    uint32_t record[2] = {start, length};
    return adpIoctl(fd, memErase, record);
}

TEST(Flash, WritesOnlyClearBitsAndStopAtTheEnd) {
    SimDir sim(0x40000);
    int fd = adpOpen("/dev/obxcfgC", 2, 0600);
    const unsigned char a[] = {0xF0, 0x0F, 0xAA}, b[] = {0x3C, 0xFF, 0x55};
    ASSERT_EQ(adpWrite(fd, a, 3), 3);
    ASSERT_EQ(adpLseek(fd, 0, SEEK_SET), 0);
    ASSERT_EQ(adpWrite(fd, b, 3), 3);
    EXPECT_EQ(adpLseek(fd, 0, SEEK_CUR), 3);
    auto img = sim.bytes();
    EXPECT_EQ(std::vector<unsigned char>(img.begin(), img.begin() + 4),
              (std::vector<unsigned char>{0x30, 0x0F, 0x00, 0xFF}));
    unsigned char z[16] = {};
    ASSERT_EQ(adpLseek(fd, 0x40000 - 4, SEEK_SET), 0x40000 - 4);
    EXPECT_EQ(adpWrite(fd, z, 16), 4);
    EXPECT_EQ(adpWrite(fd, z, 16), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(adpIoctl(fd, memErase - 1, z), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(adpIoctl(fd, memErase, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    adpClose(fd);
}

TEST(Flash, ErasesOnlyWholeSectorsInsideTheDevice) {
    const struct {
        uint32_t start, length;
        bool accepted;
    } rows[] = {{0, 0x20000, true},           {0x20000, 0x40000, true},   {0, 0x100000, true},
                {0xE0000, 0x20000, true},     {0, 0, false},              {1, 0x20000, false},
                {0, 0x10000, false},          {0x10000, 0x20000, false},  {0xE0000, 0x40000, false},
                {0xFFFE0000, 0x40000, false}};
    SimDir sim;
    int fd = adpOpen("/dev/obxcfgC", 2, 0600);
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.start << "+" << row.length);
        std::vector<unsigned char> zeros(1 << 20, 0), expected = zeros;
        sim.write("dev/obxcfgC", std::string(1 << 20, '\0'));
        errno = 0;
        EXPECT_EQ(eraseRange(fd, row.start, row.length), row.accepted ? 0 : -1);
        EXPECT_TRUE(row.accepted || errno == EINVAL);
        if (row.accepted) std::fill_n(expected.begin() + row.start, row.length, 0xFF);
        EXPECT_EQ(sim.bytes(), expected);
    }
    adpClose(fd);
}

TEST(Flash, FaultsStrikeTheNthWriteOrEraseOnceAndCutPowerAfterNBytes) {
    SimDir sim;
    int fd = adpOpen("/dev/obxcfgC", 2, 0600);
    unsigned char z[8] = {};
    sim.write("flash.fault", "write 2\n");
    EXPECT_EQ(adpWrite(fd, z, 1), 1);
    EXPECT_EQ(eraseRange(fd, 0, 0x20000), 0);  // a write fault leaves erases alone
    EXPECT_EQ(adpWrite(fd, z, 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(adpWrite(fd, z, 1), 1);
    sim.write("flash.fault", "erase 1\n");
    EXPECT_EQ(adpWrite(fd, z, 1), 1);
    EXPECT_EQ(eraseRange(fd, 0, 0x20000), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(eraseRange(fd, 0, 0x20000), 0);

    sim.write("flash.fault", "cut 10\n");
    pid_t writer = fork();
    if (writer == 0) {
        adpWrite(fd, z, 8);  // 8 of the 10 bytes
        adpWrite(fd, z, 8);  // killed after 2 more
        _exit(3);
    }
    int status;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    auto img = sim.bytes();
    EXPECT_EQ(std::count(img.begin(), img.end(), 0x00), 10);
    adpClose(fd);
}

// A request on a FIFO-backed node waits until the sandbox writes its answer.
TEST(BlockingRequest, WaitsForTheSandboxByte) {
    const struct {
        const char *node;
        unsigned long request;
        char byte;
        int result;
    } rows[] = {{"kdump", 0x6500, '0', 0},   {"kdump", 0x6500, 'f', -1},  {"fac_dev", 0x0D01, '0', 0},
                {"fac_dev", 0x0D01, '1', 1}, {"fac_dev", 0x0D01, 'f', -1}};
    SimDir sim;
    for (const auto &row : rows) {
        int fd = adpOpen((std::string("/dev/") + row.node).c_str(), 0, 0), arg = 0;
        auto waiting = std::async(std::launch::async, [&] { return adpIoctl(fd, row.request, &arg); });
        EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        int w = open(sim.path(std::string("dev/") + row.node).c_str(), O_WRONLY);
        ASSERT_EQ(write(w, &row.byte, 1), 1);
        close(w);
        EXPECT_EQ(waiting.get(), row.result);
        EXPECT_EQ(adpIoctl(fd, row.request + 1, &arg), -1);  // other codes never block
        EXPECT_EQ(errno, ENOTTY);
        adpClose(fd);
    }
}

}  // namespace
