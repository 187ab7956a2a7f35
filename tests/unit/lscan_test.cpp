// lscand's arithmetic (pass phases, counter wrap, sweep range and pause) and
// the bounds of its ARP-table reading.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include "lscan/arp_table.hpp"
#include "lscan/pass.hpp"

namespace {

using namespace zezarur::lscan;

TEST(LscanPass, TableCounterByCounter) {
    struct { int rate, counter; bool addressed, sweep, update; unsigned sleep; int next; } cases[] = {
        {30, 1, false, false, false, 1, 2},    // before the first fetch: nothing
        {30, 30, true, true, true, 1, 31},     // rate 30 sweeps at 30, 60, 90, 120 and 0,
        {30, 149, true, false, false, 1, 0},   // and wraps at 150
        {30, 0, true, true, true, 1, 1},
        {30, 5, false, false, false, 10, 0},   // no address: wait, then again at 0
        {180, 4, false, false, false, 1, 5},   // the default: first fetch and update at 5
        {180, 5, true, false, true, 1, 6},
        {7, 7, true, true, false, 1, 8},       // between updates, on the last fetch's address
        {1, 4, true, true, false, 1, 0},       // wraps at 5, so 0 fetches
        {INT_MAX, INT_MAX - 1, true, false, false, 1, INT_MAX},  // 5 * rate beyond 32 bits
        {INT_MAX, INT_MAX, true, true, false, 1, 0},
    };
    for (const auto &c : cases) {
        const Pass p = passPlan(c.counter, c.rate, c.addressed);
        EXPECT_EQ((std::tuple{p.sweep, p.update, p.sleepSeconds, p.next}),
                  (std::tuple{c.sweep, c.update, c.sleep, c.next}))
            << "rate " << c.rate << " counter " << c.counter;
    }
}

TEST(LscanSweep, RangeAndPause) {
    struct { unsigned address, netmask, first, count, pause; } cases[] = {
        {0xC0A80101, 0xFFFFFF00, 0xC0A80101, 254, 39525},     // /24
        {0xC0A80101, 0xFFFFFFFC, 0xC0A80101, 2, 10000000},    // /30
        {0xC0A80101, 0xFFFF0000, 0xC0A80001, 255, 39370},     // /16: 255 after the network
        {0xFFFFFF01, 0xFFFFFF00, 0xFFFFFF01, 254, 39525},     // no wrap at the top
        {0xC0A80101, 0xFFFFFFFF, 0xC0A80102, 0, 0},           // /32: nothing to sweep
    };
    for (const auto &c : cases) {
        const SweepRange r = sweepRange(c.address, c.netmask);
        EXPECT_EQ((std::tuple{r.first, r.count, r.pause}), (std::tuple{c.first, c.count, c.pause}));
    }
}

TEST(LscanArp, LineSplitIsBoundedByEveryField) {
    const std::string ip(15, '1'), hw(95, 'a'), dev(15, 'd');
    const std::string widest = ip + " 0x1 0xFfffFFff " + hw + " * " + dev + " more\n";
    ArpEntry e;
    ASSERT_TRUE(arpLineSplit(widest.c_str(), e));
    EXPECT_EQ(std::string(e.ip) + e.hwAddress + e.device, ip + hw + dev);
    EXPECT_EQ(e.flags, 0xFFFFFFFF);
    for (const std::string &line : {ip + "1 0x1 0x2 aa * d\n", "1 0x1 0x2 " + hw + "a * d\n",
                                    "1 0x1 0x2 aa * " + dev + "d\n", std::string("1 0x1 0x123456789 aa * d\n"),
                                    std::string("1 0x1 0x aa * d\n"), std::string("1 0x1 0x2 aa *\n")})
        EXPECT_FALSE(arpLineSplit(line.c_str(), e)) << line;
}

std::string copied(std::string table, const char *device) {
    char *text = nullptr;
    size_t size = 0;
    FILE *in = fmemopen(table.data(), table.size(), "r"), *out = open_memstream(&text, &size);
    arpTableCopy(in, out, device);
    std::fclose(in);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

TEST(LscanArp, TableCopyListsCompleteEntriesOfTheDeviceAndSkipsOverlongLinesWhole) {
    // Too long for the 512-byte buffer, with a tail that looks like an entry;
    // again with a NUL as the last byte that fits, where a sentinel would be.
    std::string overlong = "9.9.9.9 0x1 0x2 " + std::string(495, 'b') + " 8.8.8.8 0x1 0x2 cc * lan0\n";
    ASSERT_GT(overlong.size(), size_t(arpLineSize));
    for (char last : {'b', '\0'}) {
        overlong[arpLineSize - 2] = last;
        const std::string table = "1.1.1.0 0x1 0x2 hh * lan0\n1.1.1.1 0x1 0x2 aa * lan0\n" + overlong +
                                  "1.1.1.4 0x1 0x6 dd * lan0\n1.1.1.5 0x1 0x0 ee * lan0\n1.1.1.7 0x1 0x2 gg * dmz0\n"
                                  "1.1.1.6 0x1 0x2 ff * lan0";
        EXPECT_EQ(copied(table, "lan0"), "1.1.1.1 aa\n1.1.1.4 dd\n1.1.1.6 ff\n") << int(last);
    }
    EXPECT_EQ(copied(std::string(600, 'h') + "\n1.1.1.1 0x1 0x2 aa * lan0\n", "lan0"), "1.1.1.1 aa\n");
}

}  // namespace
