// lscand's arithmetic (pass phases, counter wrap, sweep range and pause) and
// the bounds of its ARP-table reading.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lscan/arp_table.hpp"
#include "lscan/pass.hpp"

namespace {

using namespace zezarur::lscan;

struct PassCase {
    int rate, counter;
    bool addressed;
    bool sweep, update;
    unsigned sleep;
    int next;
};

const PassCase passCases[] = {
    // rate 30: sweeps at 30, 60, 90, 120 and 0, wrap at 150
    {30, 1, false, false, false, 1, 2},  // before the first fetch: nothing
    {30, 5, true, false, true, 1, 6},
    {30, 29, true, false, false, 1, 30},
    {30, 30, true, true, true, 1, 31},
    {30, 60, true, true, true, 1, 61},
    {30, 120, true, true, true, 1, 121},
    {30, 149, true, false, false, 1, 0},
    {30, 0, true, true, true, 1, 1},
    // no address or mask: wait 10 s and fetch again at 0, which then sweeps
    {30, 5, false, false, false, 10, 0},
    {30, 0, false, false, false, 10, 0},
    // rate 180 (the default): first fetch and update at 5, wrap at 900
    {180, 4, false, false, false, 1, 5},
    {180, 5, true, false, true, 1, 6},
    {180, 179, true, false, false, 1, 180},
    {180, 180, true, true, true, 1, 181},
    {180, 720, true, true, true, 1, 721},
    {180, 899, true, false, false, 1, 0},
    // rate 1 wraps at 5, so counter 5 never comes and 0 fetches
    {1, 1, false, false, false, 1, 2},
    {1, 4, true, true, false, 1, 0},
    // rate 7: a sweep between two updates keeps the last fetch's address
    {7, 7, true, true, false, 1, 8},
    {7, 34, true, false, false, 1, 0},
    // a rate whose 5 * rate passes the counter's range wraps at its top
    {INT_MAX, INT_MAX - 1, true, false, false, 1, INT_MAX},
    {INT_MAX, INT_MAX, true, true, false, 1, 0},
};

TEST(LscanPass, TableCounterByCounter) {
    for (const PassCase &c : passCases) {
        const Pass p = passPlan(c.counter, c.rate, c.addressed);
        SCOPED_TRACE("rate " + std::to_string(c.rate) + " counter " + std::to_string(c.counter));
        EXPECT_EQ(p.sweep, c.sweep);
        EXPECT_EQ(p.update, c.update);
        EXPECT_EQ(p.sleepSeconds, c.sleep);
        EXPECT_EQ(p.next, c.next);
    }
}

struct RangeCase {
    const char *network;
    unsigned address, netmask, first, count, pause;
};

const RangeCase rangeCases[] = {
    {"/24", 0xC0A80101, 0xFFFFFF00, 0xC0A80101, 254, 39525},
    {"/30", 0xC0A80101, 0xFFFFFFFC, 0xC0A80101, 2, 10000000},
    {"/29", 0xC0A80106, 0xFFFFFFF8, 0xC0A80101, 6, 2000000},
    {"/31", 0xC0A80101, 0xFFFFFFFE, 0xC0A80101, 0, 0},
    {"/32", 0xC0A80101, 0xFFFFFFFF, 0xC0A80102, 0, 0},
    {"/16", 0xC0A80101, 0xFFFF0000, 0xC0A80001, 255, 39370},
    {"/8", 0x0A000005, 0xFF000000, 0x0A000001, 255, 39370},
    {"top /24", 0xFFFFFF01, 0xFFFFFF00, 0xFFFFFF01, 254, 39525},
    {"top /32", 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0},
};

TEST(LscanSweep, RangeAndPause) {
    for (const RangeCase &c : rangeCases) {
        const SweepRange r = sweepRange(c.address, c.netmask);
        SCOPED_TRACE(c.network);
        EXPECT_EQ(r.count, c.count);
        EXPECT_EQ(r.first, c.first);
        EXPECT_EQ(r.pause, c.pause);
    }
}

struct LineCase {
    std::string line;
    bool split;
    unsigned flags;
};

const std::string ip15 = "192.168.100.200", hw95(95, 'a'), dev15 = "abcdefghijklmno";

const LineCase lineCases[] = {
    {"192.168.1.100    0x1         0x2         02:00:c0:a8:01:64     *        lan0\n", true, 2},
    {"1.2.3.4\t0x1\t0x6\taa\t*\tlan0", true, 6},
    {"1.2.3.4 0x1 0xFfffFFff aa * lan0 and more", true, 0xFFFFFFFF},
    {ip15 + " 0x1 0x2 " + hw95 + " * " + dev15 + "\n", true, 2},
    {ip15 + "9 0x1 0x2 aa * lan0\n", false, 0},       // IP wider than its field
    {"1.2.3.4 0x1 0x2 " + hw95 + "a * lan0\n", false, 0},
    {"1.2.3.4 0x1 0x2 aa * " + dev15 + "p\n", false, 0},
    {"1.2.3.4 0x1 0x123456789 aa * lan0\n", false, 0},  // flags beyond 8 digits
    {"1.2.3.4 0x1 0x aa * lan0\n", false, 0},
    {"1.2.3.4 0x1 0X2 aa * lan0\n", false, 0},
    {"1.2.3.4 0x1 0x2g aa * lan0\n", false, 0},
    {"1.2.3.4 0x1 2 aa * lan0\n", false, 0},
    {"1.2.3.4 0x1 0x2 aa *\n", false, 0},
    {"", false, 0},
};

TEST(LscanArp, LineSplitIsBounded) {
    for (const LineCase &c : lineCases) {
        ArpEntry e;
        SCOPED_TRACE(c.line);
        ASSERT_EQ(arpLineSplit(c.line.c_str(), e), c.split);
        if (c.split) {
            EXPECT_EQ(e.flags, c.flags);
        }
    }
    ArpEntry e;
    ASSERT_TRUE(arpLineSplit(lineCases[3].line.c_str(), e));
    EXPECT_EQ(std::string(e.ip) + " " + e.hwAddress + " " + e.device, ip15 + " " + hw95 + " " + dev15);
}

std::string copied(const std::string &table, const char *device) {
    FILE *in = fmemopen(const_cast<char *>(table.data()), table.size(), "r");
    char *text = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    arpTableCopy(in, out, device);
    std::fclose(in);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

TEST(LscanArp, TableCopyListsCompleteEntriesOfTheDevice) {
    const std::string header = "IP address       HW type     Flags       HW address            Mask     Device\n";
    // A line too long for the 512-byte buffer whose tail looks like an entry.
    const std::string overlong = "9.9.9.9 0x1 0x2 " + std::string(495, 'b') + " 8.8.8.8 0x1 0x2 cc * lan0\n";
    const std::string table = header + "1.1.1.1 0x1 0x2 aa * lan0\n" + "1.1.1.2 0x1 0x0 00 * lan0\n" +
                              "1.1.1.3 0x1 0x6 bb * dmz0\n" + overlong + "1.1.1.4 0x1 0x6 dd * lan0\n" +
                              "1.1.1.5 0x1 0xa ee * lan0";  // no final newline
    ASSERT_GT(overlong.size(), size_t(arpLineSize));
    EXPECT_EQ(copied(table, "lan0"), "1.1.1.1 aa\n1.1.1.4 dd\n1.1.1.5 ee\n");
    EXPECT_EQ(copied(table, "dmz0"), "1.1.1.3 bb\n");
    EXPECT_EQ(copied("1.1.1.1 0x1 0x2 aa * lan0\n", "lan0"), "");  // that was the header
    EXPECT_EQ(copied(std::string(600, 'h') + "\n1.1.1.1 0x1 0x2 aa * lan0\n", "lan0"), "1.1.1.1 aa\n");
}

}  // namespace
