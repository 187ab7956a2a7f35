// The helpers every applet shares, where a word's reading must not depend on
// the CPU the test runs on.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <tuple>

#include "platform/decimal.hpp"

// The router's strtol: 32-bit bounds whatever this CPU's long is; on a CPU
// whose long is 32 bits (the be32 run), its C library's strtol agrees.
TEST(Decimal, ReadsAsTheRoutersStrtol) {
    struct { const char *word; int value; bool whole; } cases[] = {
        {"2147483647", INT_MAX, true}, {"2147483648", INT_MAX, false}, {"4294967297", INT_MAX, false},
        {"-2147483648", INT_MIN, true}, {"-2147483649", INT_MIN, false}, {"99999999999999999999", INT_MAX, false},
        {" \t\n+42", 42, true}, {"-7x", -7, false}, {"x7", 0, false}, {"- 7", 0, false}, {"", 0, false},
    };
    for (const auto &c : cases) {
        const zezarur::Decimal d = zezarur::readDecimal(c.word);
        EXPECT_EQ((std::tuple{d.value, d.whole}), (std::tuple{c.value, c.whole})) << c.word;
        if constexpr (sizeof(long) == 4) {
            EXPECT_EQ(d.value, std::strtol(c.word, nullptr, 10)) << c.word;
        }
    }
}
