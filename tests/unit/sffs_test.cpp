// The SFFS block store and file transfer, in-process against a simulated
// flash image.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "sim_dir.hpp"

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes magic{0x00, 0x2B, 0x6D, 0xE4};
constexpr size_t blockSize = 0x80000;

template <typename F>
std::string stdoutOf(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

Bytes randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto &c : b) c = static_cast<unsigned char>(gen());
    return b;
}

Bytes slice(const Bytes &b, size_t at, size_t n) {
    return {b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n)};
}

class Sffs : public testing::Test {
protected:
    SimDir sim;

    void SetUp() override {
        flash = adpOpen("/dev/obxcfgC", 2, 0600);
        ASSERT_GE(flash, 0);
    }
    void TearDown() override {
        adpClose(flash);
        flash = -1;
    }
    ~Sffs() override {
        for (int fd : fds_) adpClose(fd);
    }

    // Puts raw bytes into the image, bypassing the flash's AND rule.
    void poke(size_t at, const Bytes &b) const {
        int fd = ::open(sim.path("dev/obxcfgC").c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(b.size()));
        ::close(fd);
    }

    // A descriptor for a file with these bytes, closed with the fixture.
    int input(const Bytes &b) {
        sim.write("in", std::string(b.begin(), b.end()));
        return keep(adpOpen(sim.path("in").c_str(), 0, 0));
    }
    int output() { return keep(adpOpen(sim.path("out").c_str(), 0x242, 0600)); }
    Bytes outputBytes() const {
        std::string s = sim.read("out");
        return {s.begin(), s.end()};
    }
    void fault(const std::string &text) const { sim.write("flash.fault", text + "\n"); }

private:
    std::vector<int> fds_;
    int keep(int fd) {
        fds_.push_back(fd);
        return fd;
    }
};

TEST_F(Sffs, HeaderWriteStampsTheMagicAndDataBytesCarryNone) {
    unsigned char h[8] = {1, 2, 3, 4, 0x11, 0x00, 0x03, 0xE8};
    EXPECT_EQ(sffsMetaBytesWrite(h, 8, 0x80000), 8);
    EXPECT_EQ(Bytes(h, h + 4), magic);
    EXPECT_EQ(slice(sim.flash(), 0x80000, 8), (Bytes{0x00, 0x2B, 0x6D, 0xE4, 0x11, 0x00, 0x03, 0xE8}));

    unsigned char back[8] = {};
    EXPECT_EQ(sffsMetaBytesRead(back, 8, 0x80000), 8);
    EXPECT_EQ(Bytes(back, back + 8), Bytes(h, h + 8));

    const unsigned char data[3] = {1, 2, 3};
    EXPECT_EQ(sffsDataBytesWrite(data, 3, 0x10), 3);
    unsigned char got[3] = {};
    EXPECT_EQ(sffsDataBytesRead(got, 3, 0x10), 3);
    EXPECT_EQ(Bytes(got, got + 3), Bytes(data, data + 3));
    Bytes expected(0x14, 0xFF);
    expected[0x10] = 1, expected[0x11] = 2, expected[0x12] = 3;
    EXPECT_EQ(slice(sim.flash(), 0, 0x14), expected);
}

struct MagicCase {
    const char *name;
    Bytes first4;
    int result;
};

class MagicCheck : public Sffs, public testing::WithParamInterface<MagicCase> {};

TEST_P(MagicCheck, OnlyTheExactMagicReadsAsAHeader) {
    Bytes raw = GetParam().first4;
    raw.insert(raw.end(), {0x11, 0, 0, 1});
    poke(0, raw);
    unsigned char h[8] = {};
    EXPECT_EQ(sffsMetaBytesRead(h, 8, 0), GetParam().result);
    EXPECT_EQ(Bytes(h, h + 8), raw);  // the bytes stay in the buffer either way
}

INSTANTIATE_TEST_SUITE_P(
    Headers, MagicCheck,
    testing::Values(MagicCase{"magic", {0x00, 0x2B, 0x6D, 0xE4}, 8},
                    MagicCase{"blank", {0xFF, 0xFF, 0xFF, 0xFF}, -1},
                    MagicCase{"last_byte_off", {0x00, 0x2B, 0x6D, 0xE5}, -1},
                    MagicCase{"first_byte_off", {0x01, 0x2B, 0x6D, 0xE4}, -1},
                    MagicCase{"byte_reversed", {0xE4, 0x6D, 0x2B, 0x00}, -1}),
    [](const auto &i) { return std::string(i.param.name); });

struct StatusCase {
    const char *name;
    Bytes header;
    const char *blockLine;
    const char *counts;
    int freeFound, usedFound;
};

class StatusOf : public Sffs, public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusOf, ReportAndSearchesFollowTheHeader) {
    const StatusCase &c = GetParam();
    poke(0, c.header);
    int r = 1;
    EXPECT_EQ(stdoutOf([&] { r = sffsStatus(); }),
              std::string("sffsStatus: 1 Blocks\n    Block(0)> ") + c.blockLine +
                  "\nsffsStatus: " + c.counts + "\n");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(stdoutOf([&] { r = sffsFreeBlockFind(); }),
              "sffsFreeBlockFound: " + std::to_string(c.freeFound) + "\n");
    EXPECT_EQ(r, c.freeFound);
    EXPECT_EQ(stdoutOf([&] { r = sffsUsedBlockFind(); }),
              "sffsUsedBlockFound: " + std::to_string(c.usedFound) + "\n");
    EXPECT_EQ(r, c.usedFound);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, StatusOf,
    testing::Values(
        StatusCase{"blank", Bytes(8, 0xFF),
                   "magic:ffffffff, version:15, state:Erased??, databytes:16777215",
                   "0 Free 0 Used", -1, -1},
        StatusCase{"erased", {0x00, 0x2B, 0x6D, 0xE4, 0xFF, 0xFF, 0xFF, 0xFF},
                   "magic:002b6de4, version:15, state:Erased??, databytes:16777215",
                   "0 Free 0 Used", 0, -1},
        StatusCase{"in_use", {0x00, 0x2B, 0x6D, 0xE4, 0x11, 0x00, 0x03, 0xE8},
                   "magic:002b6de4, version:1, state:In Use, databytes:1000", "0 Free 1 Used",
                   -1, 0},
        StatusCase{"free", {0x00, 0x2B, 0x6D, 0xE4, 0x10, 0x07, 0xFF, 0xF8},
                   "magic:002b6de4, version:1, state:Free, databytes:524280", "1 Free 0 Used", 0,
                   -1},
        StatusCase{"not_sffs", {0x00, 0x2B, 0x6D, 0xE4, 0x22, 0x01, 0x02, 0x03},
                   "magic:002b6de4, version:2, state:Not SFFS, databytes:66051", "0 Free 0 Used",
                   0, -1},
        StatusCase{"in_use_byte_without_magic", {0x12, 0x34, 0x56, 0x78, 0x11, 0x00, 0x00, 0x01},
                   "magic:12345678, version:1, state:In Use, databytes:1", "0 Free 1 Used", -1,
                   -1}),
    [](const auto &i) { return std::string(i.param.name); });

struct EraseCase {
    unsigned block;
    int size;
    size_t length;
};

class EraseLength : public Sffs, public testing::WithParamInterface<EraseCase> {};

TEST_P(EraseLength, WholeSectorsCoveringHeaderAndFile) {
    const EraseCase &c = GetParam();
    poke(0, Bytes(1 << 20, 0x00));
    std::string out = stdoutOf([&] { EXPECT_EQ(sffsEraseBlock(c.block, c.size), 0); });
    EXPECT_EQ(out, "sffsErasedBlock: " + std::to_string(c.block) + "\n");

    Bytes img = sim.flash();
    size_t start = c.block * blockSize;
    Bytes expected = magic;
    expected.resize(c.length, 0xFF);
    EXPECT_EQ(slice(img, start, c.length), expected);
    if (start > 0) {
        EXPECT_EQ(img[start - 1], 0x00);
    }
    if (start + c.length < img.size()) {
        EXPECT_EQ(img[start + c.length], 0x00);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, EraseLength,
                         testing::Values(EraseCase{0, 1, 0x20000}, EraseCase{0, 0x1FFF8, 0x20000},
                                         EraseCase{0, 0x1FFF9, 0x40000},
                                         EraseCase{0, 0x20000, 0x40000},
                                         EraseCase{0, 0x7FFF8, 0x80000}, EraseCase{1, 1, 0x20000},
                                         EraseCase{1, 0x7FFF8, 0x80000}),
                         [](const auto &i) {
                             return "block" + std::to_string(i.param.block) + "_size" +
                                    std::to_string(i.param.size);
                         });

struct RangeCase {
    const char *name;
    int (*call)();
};

class BlockRange : public Sffs, public testing::WithParamInterface<RangeCase> {};

TEST_P(BlockRange, RefusedWithoutTouchingTheDevice) {
    poke(0, {0x00, 0x2B, 0x6D, 0xE4, 0x11, 0x00, 0x00, 0x01, 0x5A});
    poke(blockSize, {0x00, 0x2B, 0x6D, 0xE4, 0x11, 0x00, 0x00, 0x01, 0x5A});
    Bytes before = sim.flash();
    ASSERT_EQ(adpLseek(flash, 777, SEEK_SET), 777);
    int r = 0;
    EXPECT_EQ(stdoutOf([&] { r = GetParam().call(); }), "");
    EXPECT_EQ(r, -1);
    EXPECT_EQ(adpLseek(flash, 0, SEEK_CUR), 777);  // every access seeks first
    EXPECT_EQ(sim.flash(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockRange,
    testing::Values(RangeCase{"use_2", [] { return sffsBlockUse(2); }},
                    RangeCase{"use_minus_1", [] { return sffsBlockUse(UINT_MAX); }},
                    RangeCase{"free_2", [] { return sffsBlockFree(2); }},
                    RangeCase{"free_minus_1", [] { return sffsBlockFree(UINT_MAX); }},
                    RangeCase{"erase_2", [] { return sffsEraseBlock(2, 1); }},
                    RangeCase{"erase_minus_1", [] { return sffsEraseBlock(UINT_MAX, 1); }},
                    RangeCase{"file_write_2", [] { return sffsFileWrite(2, STDIN_FILENO); }},
                    RangeCase{"file_read_2", [] { return sffsFileRead(2, STDERR_FILENO); }}),
    [](const auto &i) { return std::string(i.param.name); });

TEST_F(Sffs, StateMarksOnlyClearBits) {
    ASSERT_EQ(sffsEraseBlock(1, 1), 0);
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsBlockUse(1), 0); }), "sffsBlockUse: 1\n");
    EXPECT_EQ(sim.flash()[blockSize + 4], 0x11);
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsBlockFree(1), 0); }), "sffsBlockFree: 1\n");
    EXPECT_EQ(slice(sim.flash(), blockSize, 8),
              (Bytes{0x00, 0x2B, 0x6D, 0xE4, 0x10, 0xFF, 0xFF, 0xFF}));
    // Block 1 is never searched: the store keeps its one file in block 0.
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsUsedBlockFind(), -1); }), "sffsUsedBlockFound: -1\n");
}

struct CopyCase {
    unsigned block;
    size_t size;
    int result;
};

class FileCopy : public Sffs, public testing::WithParamInterface<CopyCase> {};

TEST_P(FileCopy, InAndOutInChunksOf512) {
    const CopyCase &c = GetParam();
    size_t start = c.block * blockSize;
    ASSERT_EQ(sffsEraseBlock(c.block, c.result == 0 ? static_cast<int>(c.size) : 1), 0);
    Bytes file = randomBytes(c.size, static_cast<unsigned>(c.size));
    int fd = input(file);
    Bytes before = sim.flash();

    int r = 1;
    std::string out = stdoutOf([&] { r = sffsFileWrite(c.block, fd); });
    EXPECT_EQ(r, c.result);
    if (c.result != 0) {
        EXPECT_EQ(out, "");
        EXPECT_EQ(sim.flash(), before);
        return;
    }
    char line[80];
    std::snprintf(line, sizeof line, "writing file of size %zu at offset %#zx\n", c.size, start + 8);
    EXPECT_EQ(out, line);
    Bytes img = sim.flash();
    EXPECT_EQ(slice(img, start, 8),
              (Bytes{0x00, 0x2B, 0x6D, 0xE4, 0xFF, static_cast<unsigned char>(c.size >> 16),
                     static_cast<unsigned char>(c.size >> 8), static_cast<unsigned char>(c.size)}));
    EXPECT_EQ(slice(img, start + 8, c.size), file);

    ASSERT_EQ(sffsBlockUse(c.block), 0);
    int outFd = output();
    out = stdoutOf([&] { r = sffsFileRead(c.block, outFd); });
    EXPECT_EQ(r, 0);
    std::snprintf(line, sizeof line, "sffsFileRead: %zu bytes at offset %#zx\n", c.size, start + 8);
    EXPECT_EQ(out, line);
    EXPECT_EQ(outputBytes(), file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileCopy,
                         testing::Values(CopyCase{0, 1, 0}, CopyCase{0, 512, 0},
                                         CopyCase{0, 513, 0}, CopyCase{0, 0x7FFF8, 0},
                                         CopyCase{1, 513, 0}, CopyCase{1, 0x7FFF8, 0},
                                         CopyCase{0, 0x7FFF9, -1}, CopyCase{0, 0, -1}),
                         [](const auto &i) {
                             return "block" + std::to_string(i.param.block) + "_size" +
                                    std::to_string(i.param.size);
                         });

TEST_F(Sffs, CopyRefusesABlockInUseAndCopiesNoneOutOfAFreeOne) {
    poke(0, {0x00, 0x2B, 0x6D, 0xE4, 0x11, 0x00, 0x00, 0x01, 0x5A});
    int fd = input(Bytes(10, 1));
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsFileWrite(0, fd), -1); }), "");
    EXPECT_EQ(sim.flash()[8], 0x5A);
    ASSERT_EQ(sffsBlockFree(0), 0);
    int outFd = output();
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsFileRead(0, outFd), -1); }), "");
    EXPECT_EQ(outputBytes(), Bytes{});
}

// Which flash write fails tells how the file was cut into chunks: every
// chunk but the failing one still reaches the flash, the count never does.
struct ChunkCase {
    size_t size;
    int failingWrite;
    int missingChunk;  // -1: the header write
};

class ChunkFault : public Sffs, public testing::WithParamInterface<ChunkCase> {};

TEST_P(ChunkFault, FailedWriteGivesMinusOneAndNoCount) {
    const ChunkCase &c = GetParam();
    ASSERT_EQ(sffsEraseBlock(0, static_cast<int>(c.size)), 0);
    Bytes file = randomBytes(c.size, 7);
    int fd = input(file);
    fault("write " + std::to_string(c.failingWrite));
    int r = 0;
    stdoutOf([&] { r = sffsFileWrite(0, fd); });
    EXPECT_EQ(r, -1);
    Bytes img = sim.flash();
    EXPECT_EQ(slice(img, 0, 8), (Bytes{0x00, 0x2B, 0x6D, 0xE4, 0xFF, 0xFF, 0xFF, 0xFF}));
    for (size_t at = 0, chunk = 0; at < c.size; at += 512, ++chunk) {
        size_t n = std::min<size_t>(512, c.size - at);
        Bytes want = static_cast<int>(chunk) == c.missingChunk ? Bytes(n, 0xFF) : slice(file, at, n);
        EXPECT_EQ(slice(img, 8 + at, n), want) << "chunk " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(Chunks, ChunkFault,
                         testing::Values(ChunkCase{512, 2, -1}, ChunkCase{1024, 3, -1},
                                         ChunkCase{513, 3, -1}, ChunkCase{513, 2, 1},
                                         ChunkCase{1536, 2, 1}, ChunkCase{1536, 1, 0}),
                         [](const auto &i) {
                             return "size" + std::to_string(i.param.size) + "_write" +
                                    std::to_string(i.param.failingWrite);
                         });

TEST_F(Sffs, StoreLeavesTheOldFileWhenTheEraseFails) {
    Bytes old = randomBytes(1000, 1);
    ASSERT_EQ(stdoutOf([&] { EXPECT_EQ(sffsWrite(input(old)), 0); }),
              "sffsFreeBlockFound: -1\nsffsErasedBlock: 0\n"
              "writing file of size 1000 at offset 0x8\nsffsUsedBlockFound: -1\nsffsBlockUse: 0\n");
    Bytes before = sim.flash();

    fault("erase 1");
    int fd = input(randomBytes(300, 2));
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsWrite(fd), -1); }), "sffsFreeBlockFound: -1\n");
    EXPECT_EQ(sim.flash(), before);
    fault("erase 1");
    EXPECT_EQ(stdoutOf([] { EXPECT_EQ(sffsEraseBlock(0, 1), -1); }), "");
    EXPECT_EQ(sim.flash(), before);

    int outFd = output();
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsRead(outFd), 0); }),
              "sffsUsedBlockFound: 0\nsffsFileRead: 1000 bytes at offset 0x8\n");
    EXPECT_EQ(outputBytes(), old);
}

struct WriteFaultCase {
    const char *name;
    int (*call)();
};

class HeaderWriteFault : public Sffs, public testing::WithParamInterface<WriteFaultCase> {};

TEST_P(HeaderWriteFault, FailureComesBackUnchangedAndSilent) {
    poke(0, {0x00, 0x2B, 0x6D, 0xE4, 0xFF, 0xFF, 0xFF, 0xFF});
    Bytes before = sim.flash();
    fault("write 1");
    int r = 0;
    EXPECT_EQ(stdoutOf([&] { r = GetParam().call(); }), "");
    EXPECT_EQ(r, -1);
    EXPECT_EQ(sim.flash(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, HeaderWriteFault,
    testing::Values(WriteFaultCase{"use", [] { return sffsBlockUse(0); }},
                    WriteFaultCase{"free", [] { return sffsBlockFree(0); }},
                    WriteFaultCase{"meta_write",
                                   [] {
                                       unsigned char h[8] = {};
                                       return sffsMetaBytesWrite(h, 8, 0);
                                   }},
                    WriteFaultCase{"data_write",
                                   [] {
                                       const unsigned char b[1] = {0};
                                       return sffsDataBytesWrite(b, 1, 8);
                                   }}),
    [](const auto &i) { return std::string(i.param.name); });

TEST_F(Sffs, StoreRefusesEmptyAndOversizedFilesBeforeTouchingFlash) {
    ASSERT_EQ(sffsWrite(input(Bytes(100, 3))), 0);
    Bytes before = sim.flash();
    for (size_t size : {size_t{0}, size_t{0x7FFF9}}) {
        int fd = input(Bytes(size, 4));
        EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(sffsWrite(fd), -1); }), "") << size;
        EXPECT_EQ(sim.flash(), before) << size;
    }
    EXPECT_EQ(sffsWrite(-1), -1);
    EXPECT_EQ(sffsRead(-1), -1);
}

}  // namespace
