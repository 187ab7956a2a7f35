// What OpenSSL cannot judge (tests/oracle compares the digests and the codec
// on random inputs): known digests for big-endian CPUs, where the oracle does
// not run, the MD5 context's edges, CRAM-MD5's output, and the Base64
// decoder's rules, buffer sizes, refusals and ownership.
#include <zezarur/zezarur.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

#include "capture.hpp"

namespace {

const unsigned char *bytes(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

// RFC 1321's vectors: the padding within the last block or past it, a whole
// block fed straight to the transform.
TEST(Md5, Rfc1321Vectors) {
    const std::string rows[][2] = {
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto &[message, digest] : rows) {
        MD5Context context;
        MD5Init(&context);
        MD5Update(&context, bytes(message), static_cast<uint32_t>(message.size()));
        unsigned char d[16];
        MD5Final(d, &context);
        char hex[33];
        for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
        // Final wipes the context.
        EXPECT_EQ(std::tuple(std::string(hex), std::string(reinterpret_cast<char *>(&context), sizeof context)),
                  std::tuple(digest, std::string(sizeof context, '\0'))) << message;
    }
}

TEST(Md5, CountCarriesIntoTheHighWord) {
    MD5Context context;
    MD5Init(&context);
    context.count[0] = 0xfffffff8;  // as if 2^29 - 1 bytes had gone through
    MD5Update(&context, nullptr, 0);  // allowed: nothing to read
    MD5Update(&context, bytes("a"), 1);
    EXPECT_EQ(std::tuple(context.count[0], context.count[1]), std::tuple(0u, 1u));
}

// RFC 2195's example, in a new buffer and then in the caller's.
TEST(CramMd5, Rfc2195Example) {
    const char *secret = "tanstaaftanstaaf", *challenge = "<1896.697170952@postoffice.reston.mci.net>";
    const std::string digest = "b913a602c7eda7a495b4e6e7334d3890";
    const std::string printed = "digest it digest value: " + digest + "\nppResponse: " + digest + "\n";
    char buffer[33], *mine = buffer, *fresh = nullptr;
    for (char **response : {&fresh, &mine})
        EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(crammd5digest(secret, challenge, response), 0); }), printed);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(std::tuple(std::string(fresh), mine, std::string(buffer)), std::tuple(digest, buffer, digest));
    free(fresh);
}

// Bytes outside the alphabet ('-' and '_' of the URL alphabet too) are passed
// over, between groups and inside one; '=' or the NUL ends the text wherever
// it stands; a last group of two or three values gives the bytes they fully
// cover.  A given count (-1: none, the string's length) only sizes the buffer:
// decoding never stores past it (ASan would see it), and receives the result's.
TEST(Base64, Decoding) {
    const struct {
        const char *text;
        int given;
        std::string data;
    } rows[] = {{"\tY-W_J\n.j* \x80\xff", -1, "abc"}, {"YQ", -1, "a"}, {"Y", -1, ""}, {"=YWJj", -1, ""},
                {"YWJjYQ==YWJj", -1, "abca"}, {nullptr, -1, ""}, {nullptr, 7, ""}, {"Zm9vYmFy\r\n", 40, "foobar"},
                {"Zm9vYmFy", 0, ""}, {"Zm9vYmFy", 2, "fo"}, {"Zm9vYmFy", 4, "foob"}};
    for (const auto &[text, given, data] : rows) {
        SCOPED_TRACE(testing::Message() << (text ? text : "null") << " " << given);
        int length = given, detached = -1;
        char *result = base64_decode(text, given < 0 ? nullptr : &length);
        ASSERT_EQ(base64_detach(&detached), result);
        EXPECT_EQ(std::tuple(std::string(result, static_cast<size_t>(detached)), result[detached], length),
                  std::tuple(data, '\0', given < 0 ? given : detached));
        free(result);
    }
}

// A detached result is the caller's; a refusal leaves the kept one and its length.
TEST(Base64, OwnershipAndRefusals) {
    base64_encode("first", nullptr);  // sized by its string length
    int length = 0, negative = -1;
    char *mine = base64_detach(&length);
    // (A tuple reads a count only once the calls before it have run: it is
    // built from references.)  Nothing kept any more; the latest length stays.
    EXPECT_EQ(std::tuple(base64_detach(&length), length), std::tuple(nullptr, 8));
    char *kept = base64_decode("c2Vjb25k", nullptr);
    errno = 0;
    EXPECT_EQ(std::tuple(base64_encode(nullptr, nullptr), errno), std::tuple(nullptr, EINVAL));
    EXPECT_EQ(std::tuple(base64_encode("abc", &negative), base64_decode("YWJj", &negative), negative),
              std::tuple(nullptr, nullptr, -1));
    EXPECT_EQ(std::tuple(base64_detach(&length), std::string(kept, 6), length), std::tuple(kept, "second", 6));
    base64_encode("third", nullptr);
    EXPECT_STREQ(mine, "Zmlyc3Q=");  // a use after free here would show under ASan
    free(mine);
    free(kept);
}

}  // namespace
