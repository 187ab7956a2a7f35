// Base64, MD5, HMAC-MD5 and CRAM-MD5 against the standards' own vectors, and
// the codec's decoding rules and buffer ownership.
#include <zezarur/zezarur.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <malloc.h>
#include <string>
#include <string_view>

#include "capture.hpp"

namespace {

const unsigned char *bytes(std::string_view s) {
    return reinterpret_cast<const unsigned char *>(s.data());
}

std::string hex(std::string_view raw) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (char signedC : raw) {
        auto c = static_cast<unsigned char>(signedC);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string hex(const unsigned char *p, size_t n) { return hex({reinterpret_cast<const char *>(p), n}); }

// MD5 of message fed in pieces of the given size (the whole at once for 0).
std::string md5(std::string_view message, size_t piece = 0) {
    MD5Context context;
    MD5Init(&context);
    if (piece == 0) piece = message.size() + 1;
    for (size_t at = 0; at < message.size(); at += piece) {
        std::string_view part = message.substr(at, piece);
        MD5Update(&context, bytes(part), static_cast<uint32_t>(part.size()));
    }
    unsigned char digest[16];
    MD5Final(digest, &context);
    return {reinterpret_cast<char *>(digest), sizeof digest};
}

std::string md5Hex(std::string_view message, size_t piece = 0) { return hex(md5(message, piece)); }

std::string hmacHex(std::string_view text, std::string_view key) {
    unsigned char digest[16];
    hmac_md5(bytes(text), static_cast<int>(text.size()), bytes(key), static_cast<int>(key.size()),
             digest);
    return hex(digest, sizeof digest);
}

std::string encoded(std::string_view data) {
    int length = static_cast<int>(data.size());
    char *text = base64_encode(data.data(), &length);
    EXPECT_NE(text, nullptr);
    return {text, static_cast<size_t>(length)};
}

// Decodes text (sized by its string length) and takes the result over.
std::string decoded(const char *text) {
    char *data = base64_decode(text, nullptr);
    EXPECT_NE(data, nullptr);
    int length = -1;
    EXPECT_EQ(base64_detach(&length), data);
    std::string result(data, static_cast<size_t>(length));
    free(data);
    return result;
}

struct Vector {
    std::string message, expected;
    friend void PrintTo(const Vector &v, std::ostream *os) {
        *os << testing::PrintToString(v.message.substr(0, 80)) << " -> "
            << testing::PrintToString(v.expected);
    }
};

// ---- MD5 -----------------------------------------------------------------

const std::string digits80 =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

class Md5Vectors : public testing::TestWithParam<Vector> {};

TEST_P(Md5Vectors, WholeAndInPieces) {
    const auto &[message, digest] = GetParam();
    EXPECT_EQ(md5Hex(message), digest);
    for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 127u, 128u}) EXPECT_EQ(md5Hex(message, piece), digest);
}

// The RFC 1321 test suite (every length and piece size against OpenSSL is in
// tests/oracle; these also run on big-endian CPUs).
INSTANTIATE_TEST_SUITE_P(
    Rfc1321, Md5Vectors,
    testing::Values(
        Vector{"", "d41d8cd98f00b204e9800998ecf8427e"},
        Vector{"a", "0cc175b9c0f1b6a831c399e269772661"},
        Vector{"abc", "900150983cd24fb0d6963f7d28e17f72"},
        Vector{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        Vector{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        Vector{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
               "d174ab98d277d9f5a5611c2c9f419d9f"},
        Vector{digits80, "57edf4a22be3c955ac49da2e2107b67a"}));

TEST(Md5Context, EmptyUpdateLeavesItUnchanged) {
    MD5Context context{}, before{};
    MD5Init(&context);
    MD5Update(&context, bytes("abc"), 3);
    std::memcpy(&before, &context, sizeof context);
    MD5Update(&context, nullptr, 0);
    MD5Update(&context, bytes("x"), 0);
    EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0);
}

TEST(Md5Context, FinalClearsEveryByte) {
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, bytes(digits80), 70);  // leaves bytes in the buffer
    unsigned char digest[16];
    MD5Final(digest, &context);
    static const MD5Context zero{};
    EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);
}

TEST(Md5Context, BitCountCarriesIntoTheHighWord) {
    MD5Context context;
    MD5Init(&context);
    context.count[0] = 0xfffffff8;  // as if 2^29 - 1 bytes had gone through
    MD5Update(&context, bytes("a"), 1);
    EXPECT_EQ(context.count[0], 0u);
    EXPECT_EQ(context.count[1], 1u);
}

// ---- HMAC-MD5 ------------------------------------------------------------

struct HmacVector {
    std::string key, text, expected;
    friend void PrintTo(const HmacVector &v, std::ostream *os) { *os << v.expected; }
};

class HmacVectors : public testing::TestWithParam<HmacVector> {};

TEST_P(HmacVectors, Match) {
    const auto &[key, text, expected] = GetParam();
    EXPECT_EQ(hmacHex(text, key), expected);
}

// RFC 2104's cases (also RFC 2202's first three) and the empty key and text;
// keys around the block size are compared with OpenSSL in tests/oracle.
INSTANTIATE_TEST_SUITE_P(
    Rfc2202, HmacVectors,
    testing::Values(
        HmacVector{std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        HmacVector{"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        HmacVector{std::string(16, '\xaa'), std::string(50, '\xdd'),
                   "56be34521d144c88dbb8c733f0e8b3f6"},
        HmacVector{"", "", "74e6f7298a9c2d168935f58c001bad88"}));

// ---- CRAM-MD5 ------------------------------------------------------------

const char *const rfc2195Secret = "tanstaaftanstaaf";
const char *const rfc2195Challenge = "<1896.697170952@postoffice.reston.mci.net>";
const char *const rfc2195Digest = "b913a602c7eda7a495b4e6e7334d3890";

// Runs crammd5digest and returns what it printed.
std::string cram(const char *secret, const char *challengeText, char **response, int &rc) {
    return stdoutOf([&] { rc = crammd5digest(secret, challengeText, response); });
}

TEST(CramMd5, Rfc2195ExampleInANewBuffer) {
    char *response = nullptr;
    int rc;
    std::string out = cram(rfc2195Secret, rfc2195Challenge, &response, rc);
    ASSERT_EQ(rc, 0);
    ASSERT_NE(response, nullptr);
    EXPECT_STREQ(response, rfc2195Digest);
    EXPECT_EQ(out, std::string("digest it digest value: ") + rfc2195Digest + "\nppResponse: " +
                       rfc2195Digest + "\n");
    free(response);
}

TEST(CramMd5, WritesIntoTheCallersBuffer) {
    char buffer[33];
    std::memset(buffer, 'x', sizeof buffer);
    char *response = buffer;
    int rc;
    cram(rfc2195Secret, rfc2195Challenge, &response, rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(response, buffer);
    EXPECT_STREQ(buffer, rfc2195Digest);
}

// ---- Base64 --------------------------------------------------------------

class Base64Vectors : public testing::TestWithParam<Vector> {};

TEST_P(Base64Vectors, EncodeAndDecode) {
    const auto &[data, text] = GetParam();
    EXPECT_EQ(encoded(data), text);
    int length = -1;
    EXPECT_STREQ(base64_encode(data.c_str(), nullptr), text.c_str());  // string length
    free(base64_detach(&length));
    EXPECT_EQ(length, static_cast<int>(text.size()));
    EXPECT_EQ(decoded(text.c_str()), data);
    length = static_cast<int>(text.size());
    const char *bytesOut = base64_decode(text.c_str(), &length);
    EXPECT_EQ(std::string(bytesOut, static_cast<size_t>(length)), data);
}

// RFC 4648 section 10.
INSTANTIATE_TEST_SUITE_P(Rfc4648, Base64Vectors,
                         testing::Values(Vector{"", ""}, Vector{"f", "Zg=="},
                                         Vector{"fo", "Zm8="}, Vector{"foo", "Zm9v"},
                                         Vector{"foob", "Zm9vYg=="}, Vector{"fooba", "Zm9vYmE="},
                                         Vector{"foobar", "Zm9vYmFy"}));

class Base64Decoding : public testing::TestWithParam<Vector> {};

TEST_P(Base64Decoding, Yields) {
    const auto &[text, data] = GetParam();
    EXPECT_EQ(decoded(text.c_str()), data);
}

// Whitespace and any other byte outside the alphabet are skipped; the first
// '=' ends the text wherever it stands; an incomplete last group gives the
// bytes it fully covers.
INSTANTIATE_TEST_SUITE_P(
    Rules, Base64Decoding,
    testing::Values(Vector{"YWJj", "abc"}, Vector{"Y\nWJj", "abc"}, Vector{"YW Jj", "abc"},
                    Vector{"YWJ\r\nj", "abc"}, Vector{"\tY-W_J.j*\x80\xff", "abc"},
                    Vector{"YQ==", "a"}, Vector{"YQ", "a"}, Vector{"YWI=", "ab"},
                    Vector{"YWI", "ab"}, Vector{"Y", ""}, Vector{"Y===", ""}, Vector{"", ""},
                    Vector{"=YWJj", ""}, Vector{"YQ==YQ==", "a"}, Vector{"YWJjYQ==YWJj", "abca"},
                    Vector{"YW=Jj", "a"}, Vector{"YWJjY", "abc"}));

TEST(Base64Decoding, NullTextIsEmpty) {
    EXPECT_EQ(decoded(nullptr), "");
    int length = 7;
    EXPECT_STREQ(base64_decode(nullptr, &length), "");
    EXPECT_EQ(length, 0);
}

// The given length only sizes the buffer: decoding runs on to the NUL.  A
// length shorter than the promise allows gives no more bytes than it counts
// (ASan would see a store past the buffer).
TEST(Base64Decoding, GivenLengthSizesTheBufferAndReceivesTheResult) {
    struct Case {
        const char *text;
        int length;
        std::string data;
    };
    for (const auto &[text, given, data] :
         {Case{"Zm9vYmFy\r\n", 40, "foobar"}, Case{"Zm9vYmFy", 8, "foobar"},
          Case{"Zm9vYmFy", 0, ""}, Case{"Zm9vYmFy", 2, "fo"}, Case{"Zm9vYmFy", 4, "foob"},
          Case{"Zm9vYmFy", 5, "fooba"}}) {
        int length = given;
        char *result = base64_decode(text, &length);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(std::string(result, static_cast<size_t>(length)), data) << text << " " << given;
        EXPECT_EQ(result[length], '\0');
    }
}

TEST(Base64, RefusesNullDataAndNegativeCounts) {
    char *kept = base64_encode("abc", nullptr);
    errno = 0;
    EXPECT_EQ(base64_encode(nullptr, nullptr), nullptr);
    EXPECT_EQ(errno, EINVAL);
    int negative = -1;
    EXPECT_EQ(base64_encode("abc", &negative), nullptr);
    EXPECT_EQ(base64_decode("YWJj", &negative), nullptr);
    EXPECT_EQ(negative, -1);
    // The kept result and its length are untouched.
    int length = 0;
    EXPECT_EQ(base64_detach(&length), kept);
    EXPECT_EQ(length, 4);
    EXPECT_STREQ(kept, "YWJj");
    free(kept);
}

// ---- Base64 result ownership ---------------------------------------------

TEST(Base64Ownership, DetachedResultSurvivesLaterCalls) {
    base64_encode("first", nullptr);
    int length = 0;
    char *mine = base64_detach(&length);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(base64_detach(&length), nullptr);  // nothing kept any more
    EXPECT_EQ(length, 8);                        // the latest length stays
    base64_decode("c2Vjb25k", nullptr);
    base64_encode("third", nullptr);
    EXPECT_STREQ(mine, "Zmlyc3Q=");  // a use after free here would show under ASan
    free(mine);
}

// Each call frees the result before it: over 100,000 calls that would
// otherwise keep some 15 MB, memory in use stays put (and LeakSanitizer
// would report every lost result).
TEST(Base64Ownership, EachCallFreesThePreviousResult) {
    size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 50000; ++i) {
        int length = 4 + i % 200;
        std::string text(static_cast<size_t>(length), 'Q');
        ASSERT_NE(base64_decode(text.c_str(), &length), nullptr);
        ASSERT_NE(base64_encode(text.c_str(), &length), nullptr);
    }
    EXPECT_LT(mallinfo2().uordblks, before + 64 * 1024);  // allocator caches come and go
}

}  // namespace
