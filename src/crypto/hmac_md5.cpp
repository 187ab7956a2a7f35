// HMAC-MD5 (RFC 2104): MD5 over the outer pad and MD5(inner pad, text).
#include <zezarur/zezarur.h>

#include <cstring>

extern "C" void hmac_md5(const unsigned char *text, int text_len, const unsigned char *key,
                         int key_len, unsigned char digest[16]) {
    constexpr int block = 64;
    MD5Context context;
    unsigned char keyDigest[16];
    if (key_len > block) {
        MD5Init(&context);
        MD5Update(&context, key, static_cast<uint32_t>(key_len));
        MD5Final(keyDigest, &context);
        key = keyDigest;
        key_len = sizeof keyDigest;
    }

    unsigned char innerPad[block] = {}, outerPad[block] = {};
    if (key_len > 0) {
        std::memcpy(innerPad, key, static_cast<size_t>(key_len));
        std::memcpy(outerPad, key, static_cast<size_t>(key_len));
    }
    for (int i = 0; i < block; ++i) {
        innerPad[i] ^= 0x36;
        outerPad[i] ^= 0x5c;
    }

    MD5Init(&context);
    MD5Update(&context, innerPad, block);
    MD5Update(&context, text, static_cast<uint32_t>(text_len));
    MD5Final(digest, &context);

    MD5Init(&context);
    MD5Update(&context, outerPad, block);
    MD5Update(&context, digest, 16);
    MD5Final(digest, &context);

    // The pads and the hashed key are the key in disguise: leave none of it behind.
    explicit_bzero(innerPad, sizeof innerPad);
    explicit_bzero(outerPad, sizeof outerPad);
    explicit_bzero(keyDigest, sizeof keyDigest);
}
