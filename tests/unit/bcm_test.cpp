// The switch where the sandbox cannot reach: the usage text's name, the
// simulated driver on requests bcm never sends.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <utility>

#include "devices/bcm53xx.hpp"
#include "capture.hpp"
#include "sim_dir.hpp"

namespace {

using namespace zezarur::bcm;

TEST(BcmUsage, EveryLineNamesTheCommandAsItWasRun) {
    char name[] = "switchctl", word[] = "vlan", *argv[] = {name, word, nullptr};
    std::string out = stdoutOf([&] { EXPECT_EQ(bcmMain(2, argv), -1); });
    EXPECT_NE(out.find("\nswitchctl vlan show\n"), std::string::npos) << out;  // one printf for every line
    EXPECT_NE(out.find("\nswitchctl mgmt disable\n"), std::string::npos) << out;
}

// 0, or minus the errno of the request on a 256-byte copy of `r` (or on none).
template <typename Record>
int request(unsigned long code, const Record &r, bool withRecord = true) {
    unsigned char record[256] = {};
    std::memcpy(record, &r, sizeof r);
    int fd = adpOpen("/dev/bcm53xx", 0, 0);
    errno = 0;
    int result = adpIoctl(fd, code, withRecord ? record : nullptr) == 0 ? 0 : -errno;
    adpClose(fd);
    return result;
}

TEST(SwitchDriver, JudgesRequestsTheCommandNeverSends) {
    SimDir sim;
    EXPECT_EQ(request(portConfig, PortConfig{0, 1}), -EINVAL);
    EXPECT_EQ(request(portConfig, PortConfig{5, 1}), -EINVAL);
    EXPECT_EQ(request(portVlanConfig, PortVlanConfig{0, 1, 2}), -EINVAL);
    EXPECT_EQ(request(dmzConfig, int32_t{-1}), -EINVAL);
    EXPECT_EQ(request(bpduConfig, int32_t{2}), -EINVAL);
    EXPECT_EQ(request(mgmtConfig, int32_t{1}), 0);
    for (unsigned long code : {vlanGet + (1UL << 16), vlanGet & ~(1UL << 31), ioc(noData, 8, 0),
                               0x00004E09UL})  // size, direction, number, type
        EXPECT_EQ(request(code, 0), -EINVAL) << std::hex << code;
    EXPECT_EQ(request(vlanGet, 0, false), -EFAULT);
    // The caller's buffer holds 255 entries; a longer table is not written past them.
    std::string table;
    for (int k = 1; k <= 300; ++k) table += "arl " + std::to_string(k) + "\n";
    sim.write("switch.state", table);
    uint64_t buffer[256] = {};
    EXPECT_EQ(request(arlGet, ArlRequest{reinterpret_cast<uintptr_t>(buffer), 0}), 0);
    EXPECT_EQ(std::pair(buffer[254], buffer[255]), std::pair(uint64_t{255}, uint64_t{0}));
}

// The state file's grammar, where the driver and the sandbox's edits both
// meet it: a line it cannot read fails every request with EIO.
TEST(SwitchDriver, ReadsOnlyTheStateLinesOfItsGrammar) {
    SimDir sim;
    const std::pair<const char *, bool> lines[] = {
        {"dmz on", true},         {"dmz yes", false},       {"tx.11 off", true},
        {"tx.8 off", false},      {"vid.8 -32768", true},   {"vid.8 -32769", false},
        {"vid.9 1", false},       {"vlanctl.5 0xFF", true}, {"vlanctl.6 0", false},
        {"forward.3 0 8", true},  {"forward.3 9", false},   {"forward.3 -", true},
        {"forward.9 1", false},   {"mib.3.TxDropPkts 4294967295", true},
        {"mib.3.TxDropPkts 4294967296", false}, {"mib.11.TxOctets 18446744073709551615", true},
        {"mib.9.TxOctets 0", false}, {"mib.3.NoSuch 1", false}, {"ports 1 2", false},
        {"ports nine", false},    {"ports -2147483648", true}, {"# a comment", true},
        {"arl 0xFFFFFFFFFFFFFFFF", true},
    };
    for (auto [line, accepted] : lines) {
        sim.write("switch.state", std::string(line) + "\n");
        EXPECT_EQ(request(vlanGet, 0), accepted ? 0 : -EIO) << line;
    }
}

}  // namespace
