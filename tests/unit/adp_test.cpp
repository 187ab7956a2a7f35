// The simulated drivers act as the router's devices: NOR writes only clear bits,
// erases take whole sectors, power cuts strike exactly, requests block.
#include <zezarur/adp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "sim_dir.hpp"

namespace {

using Bytes = std::vector<unsigned char>;

int erase(int fd, uint32_t start, uint32_t length) {
    uint32_t record[2] = {start, length};  // struct erase_info_user
    return adpIoctl(fd, 0x40084D02, record);
}

TEST(Flash, WritesOnlyClearBitsAndErasesOnlyWholeSectors) {
    SimDir sim;
    int fd = adpOpen("/dev/obxcfgC", 2, 0600);
    const unsigned char a[] = {0xF0, 0x0F, 0xAA}, b[] = {0x3C, 0xFF, 0x55};
    EXPECT_EQ(adpWrite(fd, a, 3), 3);
    EXPECT_EQ(adpLseek(fd, 0, SEEK_SET), 0);
    EXPECT_EQ(adpWrite(fd, b, 3), 3);
    EXPECT_EQ(adpLseek(fd, 0, SEEK_CUR), 3);
    EXPECT_EQ(sim.read("dev/obxcfgC").substr(0, 4), std::string("\x30\x0F\x00\xFF", 4));

    for (auto [start, length, accepted] :
         {std::tuple(0x20000u, 0x40000u, true), {0u, 0x100000u, true}, {0xE0000u, 0x20000u, true},
          {0u, 0u, false}, {1u, 0x20000u, false}, {0u, 0x10000u, false}, {0xE0000u, 0x40000u, false},
          {0xFFFE0000u, 0x40000u, false}}) {
        SCOPED_TRACE(testing::Message() << start << "+" << length);
        sim.write("dev/obxcfgC", std::string(1 << 20, '\0'));
        Bytes expected(1 << 20, 0x00);
        if (accepted) std::fill_n(expected.begin() + start, length, 0xFF);
        EXPECT_EQ(erase(fd, start, length), accepted ? 0 : -1);
        EXPECT_TRUE(accepted || errno == EINVAL);
        EXPECT_EQ(sim.bytes(), expected);
    }
    adpClose(fd);
}

// Failing the Nth write or erase is proven where the flash store meets it.
TEST(Flash, PowerCutKillsTheWriterAfterExactlyNBytes) {
    SimDir sim;
    int fd = adpOpen("/dev/obxcfgC", 2, 0600);
    unsigned char z[8] = {};
    sim.write("flash.fault", "cut 10");
    pid_t writer = fork();
    if (writer == 0) {
        adpWrite(fd, z, 8);  // 8 of the 10 bytes
        adpWrite(fd, z, 8);  // killed after 2 more
        _exit(3);
    }
    int status;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    Bytes img = sim.bytes();
    EXPECT_EQ(std::count(img.begin(), img.end(), 0x00), 10);
    adpClose(fd);
}

// A request on a FIFO-backed node waits until the sandbox writes its answer.
TEST(BlockingRequest, WaitsForTheSandboxByte) {
    SimDir sim;
    for (auto [node, request, byte, result] : {std::tuple("kdump", 0x6500ul, '0', 0),
                                               std::tuple("fac_dev", 0x0D01ul, '1', 1),
                                               std::tuple("fac_dev", 0x0D01ul, 'f', -1)}) {
        int fd = adpOpen((std::string("/dev/") + node).c_str(), 0, 0), arg = 0;
        auto waiting = std::async(std::launch::async, [&, rq = request] { return adpIoctl(fd, rq, &arg); });
        EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        sim.write(std::string("dev/") + node, std::string(1, byte));
        EXPECT_EQ(waiting.get(), result);
        EXPECT_EQ(adpIoctl(fd, request + 1, &arg), -1);  // other codes never block
        EXPECT_EQ(errno, ENOTTY);
        adpClose(fd);
    }
}

}  // namespace
