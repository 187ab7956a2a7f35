// The SFFS building blocks on a simulated flash image, for what the sffs command
// cannot reach: block 1, refusals, results, searches, a fault at one access.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "capture.hpp"
#include "sim_dir.hpp"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr size_t blockSize = 0x80000;

using u8 = unsigned char;
Bytes header(u8 state, unsigned count) {
    return {0x00, 0x2B, 0x6D, 0xE4, state, u8(count >> 16), u8(count >> 8), u8(count)};
}

Bytes randomBytes(size_t n) {
    std::mt19937 gen(static_cast<unsigned>(n));
    Bytes b(n);
    for (auto &c : b) c = static_cast<unsigned char>(gen());
    return b;
}

Bytes slice(const Bytes &b, size_t at, size_t n) {
    return {b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n)};
}

struct Sffs : testing::Test {
    SimDir sim;

    void SetUp() override { ASSERT_GE(flash = adpOpen("/dev/obxcfgC", 2, 0600), 0); }
    void TearDown() override {
        adpClose(flash);
        flash = -1;
        for (int fd : fds) adpClose(fd);
    }
    void poke(size_t at, const Bytes &b) const {  // past the flash's AND rule
        std::string img = sim.read("dev/obxcfgC");
        sim.write("dev/obxcfgC", img.replace(at, b.size(), std::string(b.begin(), b.end())));
    }
    int input(const Bytes &b) {  // a new file each time
        std::string name = "in" + std::to_string(fds.size());
        sim.write(name, std::string(b.begin(), b.end()));
        return fds.emplace_back(adpOpen(sim.path(name).c_str(), 0, 0));
    }
    int output() { return fds.emplace_back(adpOpen(sim.path("out").c_str(), 0x242, 0600)); }
    std::vector<int> fds;  // closed at the end
};

// A header read fails without the exact magic, so both searches do; the
// report shows the bytes read all the same.
TEST_F(Sffs, StatusAndSearchesFollowTheHeaderOfBlockZero) {
    const struct {
        Bytes header;
        const char *magic;
        int version;
        const char *state;
        int count, freeBlocks, usedBlocks, freeFound, usedFound;
    } rows[] = {
        {Bytes(8, 0xFF), "ffffffff", 15, "Erased??", 16777215, 0, 0, -1, -1},
        {header(0xFF, 0xFFFFFF), "002b6de4", 15, "Erased??", 16777215, 0, 0, 0, -1},
        {header(0x11, 1000), "002b6de4", 1, "In Use", 1000, 0, 1, -1, 0},
        {header(0x10, 0x7FFF8), "002b6de4", 1, "Free", 524280, 1, 0, 0, -1},
        {header(0x22, 0x10203), "002b6de4", 2, "Not SFFS", 66051, 0, 0, 0, -1},
        {{0x00, 0x2B, 0x6D, 0xE5, 0x11, 0, 0, 1}, "002b6de5", 1, "In Use", 1, 0, 1, -1, -1}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.magic);
        poke(0, row.header);
        int r[3] = {1, 1, 1};
        char text[200];
        std::snprintf(text, sizeof text,
                      "sffsStatus: 1 Blocks\n    Block(0)> magic:%s, version:%d, state:%s, databytes:%d\n"
                      "sffsStatus: %d Free %d Used\nsffsFreeBlockFound: %d\nsffsUsedBlockFound: %d\n",
                      row.magic, row.version, row.state, row.count, row.freeBlocks, row.usedBlocks,
                      row.freeFound, row.usedFound);
        EXPECT_EQ(stdoutOf([&] { r[0] = sffsStatus(), r[1] = sffsFreeBlockFind(), r[2] = sffsUsedBlockFind(); }),
                  text);
        EXPECT_EQ(std::tuple(r[0], r[1], r[2]), std::tuple(0, row.freeFound, row.usedFound));
        unsigned char h[8];
        EXPECT_EQ(sffsMetaBytesRead(h, 8, 0), std::string(row.magic) == "002b6de4" ? 8 : -1);
    }
}

// A refused call or a failing first flash write or erase: -1, nothing printed,
// the flash unchanged; a refused call does not even seek (every access would).
TEST_F(Sffs, RefusalsAndFlashFaultsChangeNothing) {
    unsigned char h[8] = {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF};  // the magic is stamped over 1 2 3 4
    ASSERT_EQ(sffsMetaBytesWrite(h, 8, 0), 8);
    ASSERT_EQ(sffsMetaBytesWrite(h, 8, blockSize), 8);
    const std::pair<const char *, int (*)()> rows[] = {
        {"", [] { return sffsBlockUse(2); }},      {"", [] { return sffsBlockFree(2); }},
        {"", [] { return sffsEraseBlock(2, 1); }}, {"", [] { return sffsFileWrite(2, 0); }},
        {"", [] { return sffsFileRead(2, 2); }},
        {"", [] { return sffsWrite(-1); }},        {"", [] { return sffsRead(-1); }},
        {"write 1", [] { return sffsBlockUse(0); }},
        {"write 1", [] { return sffsBlockFree(1); }},
        {"write 1", [] { unsigned char b[8] = {}; return sffsMetaBytesWrite(b, 8, 0); }},
        {"write 1", [] { const unsigned char b = 0; return sffsDataBytesWrite(&b, 1, 8); }},
        {"erase 1", [] { return sffsEraseBlock(0, 1); }}};
    Bytes before = sim.bytes();
    for (auto [fault, call] : rows) {
        sim.write("flash.fault", fault);
        ASSERT_EQ(adpLseek(flash, 777, SEEK_SET), 777);
        int r = 0;
        EXPECT_EQ(stdoutOf([&, f = call] { r = f(); }), "");
        EXPECT_EQ(r, -1);
        EXPECT_TRUE(*fault || adpLseek(flash, 0, SEEK_CUR) == 777);
        EXPECT_EQ(sim.bytes(), before);
    }
}

// Block 1 is reached only here: the store keeps its one file in block 0.
TEST_F(Sffs, BlockOneThroughItsStates) {
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsEraseBlock(1, 0x7FFF8), 0); }), "sffsErasedBlock: 1\n");
    Bytes file = randomBytes(0x7FFF8), stored = header(0xFF, 0x7FFF8);
    stored.insert(stored.end(), file.begin(), file.end());
    int in = input(file), out = output();
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsFileWrite(1, in), 0); }),
              "writing file of size 524280 at offset 0x80008\n");
    EXPECT_EQ(slice(sim.bytes(), blockSize, stored.size()), stored);
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsBlockUse(1), 0); }), "sffsBlockUse: 1\n");
    EXPECT_EQ(slice(sim.bytes(), blockSize, 8), header(0x11, 0x7FFF8));
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsUsedBlockFind(), -1); }), "sffsUsedBlockFound: -1\n");
    EXPECT_EQ(sffsFileWrite(1, input({1})), -1);  // never over the block in use
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsFileRead(1, out), 0); }),
              "sffsFileRead: 524280 bytes at offset 0x80008\n");
    EXPECT_EQ(sim.bytes("out"), file);
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsBlockFree(1), 0); }), "sffsBlockFree: 1\n");
    EXPECT_EQ(slice(sim.bytes(), blockSize, stored.size()), (stored[4] = 0x10, stored));
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsFileRead(1, out), -1); }), "");  // not out of a free one
}

// Which flash write fails tells how the file was cut into chunks: every
// chunk but the failing one still reaches the flash, the count never does.
TEST_F(Sffs, FailedChunkWriteGivesMinusOneAndNoCount) {
    const struct {
        size_t size;
        int failingWrite, missingChunk;  // -1: the header write
    } rows[] = {{513, 3, -1}, {513, 2, 1}, {1536, 2, 1}, {1536, 1, 0}};
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.size << " bytes, write " << row.failingWrite);
        ASSERT_EQ(sffsEraseBlock(0, int(row.size)), 0);
        Bytes file = randomBytes(row.size);
        int fd = input(file), r = 0;
        sim.write("flash.fault", "write " + std::to_string(row.failingWrite));
        stdoutOf([&] { r = sffsFileWrite(0, fd); });
        EXPECT_EQ(r, -1);
        Bytes expected = header(0xFF, 0xFFFFFF);
        expected.insert(expected.end(), file.begin(), file.end());
        if (size_t at = 512 * size_t(row.missingChunk); row.missingChunk >= 0)
            std::fill_n(expected.begin() + long(8 + at), std::min<size_t>(512, row.size - at), 0xFF);
        EXPECT_EQ(slice(sim.bytes(), 0, expected.size()), expected);
    }
}

}  // namespace
