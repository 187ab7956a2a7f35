// MD5, HMAC-MD5 and Base64 against OpenSSL on random inputs of every length
// up to 300: several MD5 blocks, HMAC keys around the block size, several
// Base64 lines.
#include <zezarur/zezarur.h>

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Digest = std::array<unsigned char, 16>;

std::mt19937 random(20260101);

Bytes randomBytes(size_t n) {
    Bytes b(n);
    for (auto &c : b) c = static_cast<unsigned char>(random());
    return b;
}

size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n)(random); }

// Ours, fed whole (largest 0) or in pieces cut at random points (empty ones
// included) of up to about `largest` bytes.
Digest ourMd5(const Bytes &data, size_t largest) {
    MD5Context context;
    MD5Init(&context);
    for (size_t at = 0; at < data.size();) {
        size_t piece = largest ? std::min(below(largest), data.size() - at) : data.size();
        MD5Update(&context, data.data() + at, static_cast<uint32_t>(piece));
        at += piece;
    }
    Digest d;
    MD5Final(d.data(), &context);
    return d;
}

TEST(Md5VersusOpenSsl, EveryLengthUpTo300) {
    for (size_t n = 0; n <= 300; ++n)
        for (int round = 0; round < 12; ++round) {
            Bytes data = randomBytes(n);
            Digest expected;
            EVP_Digest(data.data(), n, expected.data(), nullptr, EVP_md5(), nullptr);
            for (size_t largest : {size_t{0}, 1 + n / 3, size_t{130}}) ASSERT_EQ(ourMd5(data, largest), expected) << n;
        }
}

TEST(HmacVersusOpenSsl, KeysAroundTheBlockSizeAndTextsUpTo300) {
    for (int round = 0; round < 4000; ++round) {
        Bytes key = randomBytes(below(200)), text = randomBytes(below(300));
        Digest expected, ours;
        HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), text.data(), text.size(), expected.data(), nullptr);
        hmac_md5(text.data(), static_cast<int>(text.size()), key.data(), static_cast<int>(key.size()), ours.data());
        ASSERT_EQ(ours, expected) << "key " << key.size() << " text " << text.size();
    }
}

// OpenSSL's block codec writes no line feeds; ours breaks lines, which the
// decoder skips.
TEST(Base64VersusOpenSsl, EncodeAndDecode) {
    for (size_t n = 0; n <= 300; ++n)
        for (int round = 0; round < 10; ++round) {
            Bytes data = randomBytes(n);
            std::string expected(4 * ((n + 2) / 3), '\0');
            EVP_EncodeBlock(reinterpret_cast<unsigned char *>(expected.data()), data.data(), static_cast<int>(n));
            int length = static_cast<int>(n);
            std::string text = base64_encode(n ? reinterpret_cast<const char *>(data.data()) : "", &length);
            ASSERT_EQ(static_cast<size_t>(length), text.size());
            std::string unbroken = text;
            std::erase(unbroken, '\n');
            ASSERT_EQ(unbroken, expected) << n;
            for (size_t i = 0; i < text.size(); ++i) ASSERT_EQ(text[i] == '\n', i % 77 == 76) << n;
            char *decoded = base64_decode(text.c_str(), &length);
            ASSERT_EQ(Bytes(decoded, decoded + length), data) << n;
        }
}

}  // namespace
