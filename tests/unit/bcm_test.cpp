// The bcm command in-process: the usage text carries the name it was run as.
#include <zezarur/zezarur.h>

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(BcmUsage, ShowsTheNameItWasRunAs) {
    char name[] = "switchctl", word[] = "vlan";
    char *argv[] = {name, word, nullptr};
    testing::internal::CaptureStdout();
    int result = bcmMain(2, argv);
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    const std::string stars(61, '*');
    EXPECT_EQ(out.substr(0, 62), stars + "\n");
    EXPECT_NE(out.find("\nswitchctl tx/rx enable/disable [portnum(0-7)(11-gigeport)]\n"),
              std::string::npos);
    EXPECT_EQ(out.find("%s"), std::string::npos);
    int lines = 0;
    for (char c : out) lines += c == '\n';
    EXPECT_EQ(lines, 17);
}

}  // namespace
