// The simulated switch driver judges every request as the real one would.
#include <zezarur/adp.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "bcm/records.hpp"
#include "sim_dir.hpp"

namespace {

using namespace zezarur::bcm;

struct Verdict {
    const char *name;
    unsigned long code;
    std::vector<unsigned char> record;  // copied into a buffer of its own
    int error;                          // 0: accepted
};

template <typename Record>
std::vector<unsigned char> bytes(const Record &r) {
    std::vector<unsigned char> b(sizeof r);
    std::memcpy(b.data(), &r, sizeof r);
    return b;
}

std::vector<unsigned char> mibFor(uint16_t port) {
    MibCounters m{};
    m.port = port;
    return bytes(m);
}

void PrintTo(const Verdict &c, std::ostream *os) { *os << c.name; }

class SwitchDriver : public testing::TestWithParam<Verdict> {};

TEST_P(SwitchDriver, AcceptsOnlyWellFormedRequests) {
    SimDir sim;
    int fd = adpOpen("/dev/bcm53xx", 0, 0);
    ASSERT_GE(fd, 0);
    std::vector<unsigned char> record = GetParam().record;
    record.resize(256);
    errno = 0;
    int result = adpIoctl(fd, GetParam().code, record.data());
    adpClose(fd);
    if (GetParam().error == 0) {
        EXPECT_EQ(result, 0) << std::strerror(errno);
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(errno, GetParam().error);
    }
    EXPECT_NE(sim.read("switch.log").find(GetParam().error ? strerrorname_np(GetParam().error) : "ok"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Switch, SwitchDriver,
    testing::Values(
        Verdict{"MibPort8", mibGet, mibFor(8), 0},
        Verdict{"MibGigabitPort", mibGet, mibFor(11), 0},
        Verdict{"MibPort9", mibGet, mibFor(9), EINVAL},
        Verdict{"MibPort65535", mibGet, mibFor(0xFFFF), EINVAL},
        Verdict{"TxOnGigabitPort", portConfig, bytes(PortConfig{txEnable, 11}), 0},
        Verdict{"RxOffPort7", portConfig, bytes(PortConfig{rxDisable, 7}), 0},
        Verdict{"TxPort8", portConfig, bytes(PortConfig{txEnable, 8}), EINVAL},
        Verdict{"Operation0", portConfig, bytes(PortConfig{0, 1}), EINVAL},
        Verdict{"Operation5", portConfig, bytes(PortConfig{5, 1}), EINVAL},
        Verdict{"ForwardPort8To0", portVlanConfig, bytes(PortVlanConfig{8, 0, 1}), 0},
        Verdict{"ForwardPort9", portVlanConfig, bytes(PortVlanConfig{9, 0, 1}), EINVAL},
        Verdict{"ForwardToMinus1", portVlanConfig, bytes(PortVlanConfig{0, -1, 0}), EINVAL},
        Verdict{"ForwardValue2", portVlanConfig, bytes(PortVlanConfig{0, 1, 2}), EINVAL},
        Verdict{"DmzOn", dmzConfig, bytes(int32_t{1}), 0},
        Verdict{"DmzMinus1", dmzConfig, bytes(int32_t{-1}), EINVAL},
        Verdict{"Bpdu2", bpduConfig, bytes(int32_t{2}), EINVAL},
        Verdict{"Register4Bytes", regGet, bytes(RegRequest{3, 0x0102, 4}), 0},
        Verdict{"Register0Bytes", regGet, bytes(RegRequest{3, 0x0102, 0}), EINVAL},
        Verdict{"Register9Bytes", regGet, bytes(RegRequest{3, 0x0102, 9}), EINVAL},
        Verdict{"ResetMibs", resetMibs, {}, 0},
        Verdict{"WrongSize", vlanGet + (1UL << 16), {}, EINVAL},
        Verdict{"WrongDirection", vlanGet & ~(1UL << 31), {}, EINVAL},
        Verdict{"UnusedNumber", ioc(noData, 8, 0), {}, EINVAL},
        Verdict{"OtherType", 0x00004E09, {}, EINVAL}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(SwitchDriver, RecordlessRequestOfARecordCodeIsAFault) {
    SimDir sim;
    int fd = adpOpen("/dev/bcm53xx", 0, 0);
    EXPECT_EQ(adpIoctl(fd, vlanGet, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    adpClose(fd);
}

// The caller's buffer holds 255 entries; a longer table is counted, not written.
TEST(SwitchDriver, ArlWritesNoMoreThan255Entries) {
    SimDir sim;
    std::string table;
    for (int k = 0; k < 300; ++k) table += "arl " + std::to_string(k + 1) + "\n";
    sim.write("switch.state", table);
    std::vector<uint64_t> buffer(300, ~0ULL);
    ArlRequest arl{reinterpret_cast<uintptr_t>(buffer.data()), 0};
    int fd = adpOpen("/dev/bcm53xx", 0, 0);
    ASSERT_EQ(adpIoctl(fd, arlGet, &arl), 0);
    adpClose(fd);
    EXPECT_EQ(arl.count, 300);
    EXPECT_EQ(buffer[0], 1u);
    EXPECT_EQ(buffer[254], 255u);
    EXPECT_EQ(buffer[255], ~0ULL);
}

TEST(SwitchDriver, UnreadableStateFailsEveryRequest) {
    SimDir sim;
    sim.write("switch.state", "ports nine\n");
    int fd = adpOpen("/dev/bcm53xx", 0, 0);
    PortMap map{};
    EXPECT_EQ(adpIoctl(fd, vlanGet, &map), -1);
    EXPECT_EQ(errno, EIO);
    adpClose(fd);
}

}  // namespace
