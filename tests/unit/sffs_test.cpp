// The SFFS building blocks on a simulated flash image, for what the sffs command
// cannot reach: block 1, refusals, a flash write failing mid-file.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>

#include "capture.hpp"
#include "sim_dir.hpp"

namespace {

struct Sffs : testing::Test {
    SimDir sim;

    void SetUp() override { ASSERT_GE(flash = adpOpen("/dev/obxcfgC", 2, 0600), 0); }
    void TearDown() override { adpClose(flash), flash = -1; }
    int input(size_t size) {  // random bytes in a file: the descriptor, and file their copy
        file.resize(size);
        std::generate(file.begin(), file.end(), std::mt19937());
        sim.write("in", file);
        return adpOpen(sim.path("in").c_str(), 0, 0);
    }
    std::string file;
};

// -1 and nothing printed; not even a seek, which every access would make.
TEST_F(Sffs, RefusalsDoNotTouchTheFlash) {
    int (*const calls[])() = {
        [] { return sffsBlockUse(2); },      [] { return sffsBlockFree(2); },
        [] { return sffsEraseBlock(2, 1); }, [] { return sffsFileWrite(2, 0); },
        [] { return sffsFileRead(2, 2); },   [] { return sffsWrite(-1); },
        [] { return sffsRead(-1); }};
    for (auto call : calls) {
        ASSERT_EQ(adpLseek(flash, 777, SEEK_SET), 777);
        EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(call(), -1); }), "");
        EXPECT_EQ(adpLseek(flash, 0, SEEK_CUR), 777);
    }
}

// Block 1 is reached only here: the store keeps its one file in block 0, and
// the searches look at block 0 alone.
TEST_F(Sffs, BlockOneThroughItsStates) {
    int in = input(1000), out = adpOpen(sim.path("out").c_str(), 0x242, 0600);
    const std::tuple<std::function<int()>, int, const char *> steps[] = {
        {[] { return sffsEraseBlock(1, 1000); }, 0, "sffsErasedBlock: 1\n"},
        {[&] { return sffsFileWrite(1, in); }, 0, "writing file of size 1000 at offset 0x80008\n"},
        {[] { return sffsBlockUse(1); }, 0, "sffsBlockUse: 1\n"},
        {[] { return sffsUsedBlockFind(); }, -1, "sffsUsedBlockFound: -1\n"},
        {[&] { return sffsFileWrite(1, in); }, -1, ""},  // never over the block in use
        {[&] { return sffsFileRead(1, out); }, 0, "sffsFileRead: 1000 bytes at offset 0x80008\n"},
        {[] { return sffsBlockFree(1); }, 0, "sffsBlockFree: 1\n"},
        {[&] { return sffsFileRead(1, out); }, -1, ""}};  // not out of a free one
    for (const auto &[call, result, printed] : steps) {
        EXPECT_EQ(stdoutOf([&, f = call, r = result, p = printed] { EXPECT_EQ(f(), r) << p; }), printed);
    }
    EXPECT_EQ(sim.read("out"), file);
    adpClose(in), adpClose(out);
}

// An erased block 0 is free.  A failed chunk does not stop the copy: the
// chunks after it still reach the flash, the count never does.
TEST_F(Sffs, FailedChunkWriteGivesMinusOneAndNoCount) {
    int in = input(1536);
    EXPECT_EQ(stdoutOf([] { sffsEraseBlock(0, 1536), sffsFreeBlockFind(); }),
              "sffsErasedBlock: 0\nsffsFreeBlockFound: 0\n");
    sim.write("flash.fault", "write 2");
    stdoutOf([&] { EXPECT_EQ(sffsFileWrite(0, in), -1); });
    EXPECT_EQ(sim.read("dev/obxcfgC").substr(0, 1544),
              std::string("\0\x2B\x6D\xE4\xFF\xFF\xFF\xFF", 8) + file.replace(512, 512, 512, '\xFF'));
    adpClose(in);
}

}  // namespace
