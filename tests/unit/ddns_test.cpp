// What the sandbox cannot show of the dynamic-DNS client: the exported
// return-code table byte by byte, and the status line's pattern at its edges.
#include <zezarur/zezarur.h>

#include <cstring>
#include <gtest/gtest.h>

#include "ddns/dyndns_reply.hpp"

namespace {

TEST(DynDnsStatusCodes, FourteenRowsOf24BytesClosedByEleven) {
    static_assert(sizeof dynDnsStatusCodes == 14 * 24);
    const auto *bytes = reinterpret_cast<const unsigned char *>(dynDnsStatusCodes);
    const char *texts[] = {"good",    "nochg",  "badauth", "!donator", "notfqdn",
                           "nohost",  "numhost", "abuse",  "badagent", "connect timed out",
                           "dnserr",  "911",    "good 127.0.0.1", "end"};
    for (int row = 0; row < 14; ++row) {
        const unsigned char *r = bytes + 24 * row;
        int32_t code;
        std::memcpy(&code, r, 4);  // the platform's own byte order
        EXPECT_EQ(code, row == 13 ? 11 : row + 1);
        size_t len = std::strlen(texts[row]);
        EXPECT_EQ(std::memcmp(r + 4, texts[row], len), 0);
        for (size_t i = 4 + len; i < 24; ++i) EXPECT_EQ(r[i], 0) << "row " << row;
    }
}

TEST(DynDnsReply, StatusLineAndCodeEdges) {
    struct Case {
        const char *reply;
        int status, code;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\ngood 1.2.3.4", 200, 1},
        {"  HTTP/1.x   2001", 200, -1},
        {"HTTP/1.0 200\r\n\r\ngood 127.0.0.1 nochg", 200, 2},
        {"HTTP/2 200\r\n\r\nnohost", -1, 6},
        {"HTTP/1.0200", 200, -1},  // any one character after "1."
        {"HTTP/1.1-7badauth", -7, 3},  // a sign counts as one of the three
        {"", -1, -1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(zezarur::ddns::dynDnsHttpStatus(c.reply), c.status) << c.reply;
        EXPECT_EQ(zezarur::ddns::dynDnsStatusFind(c.reply), c.code) << c.reply;
    }
    EXPECT_STREQ(zezarur::ddns::dynDnsRefusalText(10), "connect timed out");
    EXPECT_EQ(zezarur::ddns::dynDnsRefusalText(11), nullptr);
    EXPECT_EQ(zezarur::ddns::dynDnsRefusalText(2), nullptr);
}

}  // namespace
