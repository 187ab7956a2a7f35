// What the sandbox cannot show of the DynDNS reply reader: the status line's
// pattern at its edges, and every refusal word shown as itself.
#include <gtest/gtest.h>

#include "ddns/dyndns_reply.hpp"

namespace {

using namespace zezarur::ddns;

TEST(DynDnsReply, StatusLineCodeAndRefusalText) {
    struct Case {
        const char *reply;
        int status, code;
    } cases[] = {
        {"  HTTP/1.x   2001", 200, -1},
        {"HTTP/1.0 200\r\n\r\ngood 127.0.0.1 nochg", 200, 2},
        {"HTTP/2 200\r\n\r\nnohost", -1, 6},
        {"HTTP/1.0200 dnserr", 200, 11},  // any one character after "1."
        {"HTTP/1.1-7badauth", -7, 3},     // a sign counts as one of the three
    };
    for (const Case &c : cases) {
        EXPECT_EQ(dynDnsHttpStatus(c.reply), c.status) << c.reply;
        EXPECT_EQ(dynDnsStatusFind(c.reply), c.code) << c.reply;
    }
    for (const char *word : {"badauth", "!donator", "notfqdn", "nohost", "numhost", "abuse",
                             "badagent", "connect timed out"})
        EXPECT_STREQ(dynDnsRefusalText(dynDnsStatusFind(word)), word);
}

}  // namespace
