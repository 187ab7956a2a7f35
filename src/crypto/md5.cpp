// MD5 message digest (RFC 1321).  Words are read from the input and written
// to the digest a byte at a time in little-endian order, so the result does
// not depend on the host's byte order.
#include <zezarur/zezarur.h>

#include "platform/bytes.hpp"

#include <bit>
#include <cstddef>
#include <cstring>

static_assert(sizeof(MD5Context) == 88);
static_assert(offsetof(MD5Context, state) == 0);
static_assert(offsetof(MD5Context, count) == 16);
static_assert(offsetof(MD5Context, buffer) == 24);

namespace {

using zezarur::load32le;
using zezarur::store32le;

// The four rounds' steps: a = b + ((a + fn(b, c, d) + x + t) <<< s).  Each is
// written so that everything but the last term can be computed from a, c, d
// and the constants before b, the previous step's result, is known.
inline void ff(uint32_t &a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + std::rotl(a + x + t + (d ^ (b & (c ^ d))), s);
}
inline void gg(uint32_t &a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + std::rotl(a + x + t + (c & ~d) + (b & d), s);
}
inline void hh(uint32_t &a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + std::rotl(a + x + t + (b ^ (c ^ d)), s);
}
inline void ii(uint32_t &a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + std::rotl(a + x + t + (c ^ (b | ~d)), s);
}

// Clears secrets: an inline memset the compiler may not drop as a dead store
// (cheaper than a call to explicit_bzero on every block).
inline void wipe(void *p, size_t n) {
    std::memset(p, 0, n);
    asm volatile("" : : "r"(p) : "memory");
}

// A block's sixteen little-endian words.  A little-endian host reads them
// straight from the block (a copy would only add stores and loads); others
// decode them once into a copy, cleared when the block is done, so that no
// copy of the message stays behind.
class BlockWords {
public:
    explicit BlockWords(const unsigned char *block) : block_(block) {
        if constexpr (!direct)
            for (int i = 0; i < 16; ++i) copy_[i] = load32le(block + 4 * i);
    }
    ~BlockWords() {
        if constexpr (!direct) wipe(copy_, sizeof copy_);
    }
    BlockWords(const BlockWords &) = delete;
    BlockWords &operator=(const BlockWords &) = delete;

    uint32_t operator[](int i) const {
        if constexpr (direct)
            return load32le(block_ + 4 * i);
        else
            return copy_[i];
    }

private:
    static constexpr bool direct = std::endian::native == std::endian::little;
    const unsigned char *block_;
    uint32_t copy_[direct ? 1 : 16];
};

void md5Transform(uint32_t state[4], const unsigned char block[64]) {
    const BlockWords x(block);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    ff(a, b, c, d, x[0], 7, 0xd76aa478);
    ff(d, a, b, c, x[1], 12, 0xe8c7b756);
    ff(c, d, a, b, x[2], 17, 0x242070db);
    ff(b, c, d, a, x[3], 22, 0xc1bdceee);
    ff(a, b, c, d, x[4], 7, 0xf57c0faf);
    ff(d, a, b, c, x[5], 12, 0x4787c62a);
    ff(c, d, a, b, x[6], 17, 0xa8304613);
    ff(b, c, d, a, x[7], 22, 0xfd469501);
    ff(a, b, c, d, x[8], 7, 0x698098d8);
    ff(d, a, b, c, x[9], 12, 0x8b44f7af);
    ff(c, d, a, b, x[10], 17, 0xffff5bb1);
    ff(b, c, d, a, x[11], 22, 0x895cd7be);
    ff(a, b, c, d, x[12], 7, 0x6b901122);
    ff(d, a, b, c, x[13], 12, 0xfd987193);
    ff(c, d, a, b, x[14], 17, 0xa679438e);
    ff(b, c, d, a, x[15], 22, 0x49b40821);

    gg(a, b, c, d, x[1], 5, 0xf61e2562);
    gg(d, a, b, c, x[6], 9, 0xc040b340);
    gg(c, d, a, b, x[11], 14, 0x265e5a51);
    gg(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    gg(a, b, c, d, x[5], 5, 0xd62f105d);
    gg(d, a, b, c, x[10], 9, 0x02441453);
    gg(c, d, a, b, x[15], 14, 0xd8a1e681);
    gg(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    gg(a, b, c, d, x[9], 5, 0x21e1cde6);
    gg(d, a, b, c, x[14], 9, 0xc33707d6);
    gg(c, d, a, b, x[3], 14, 0xf4d50d87);
    gg(b, c, d, a, x[8], 20, 0x455a14ed);
    gg(a, b, c, d, x[13], 5, 0xa9e3e905);
    gg(d, a, b, c, x[2], 9, 0xfcefa3f8);
    gg(c, d, a, b, x[7], 14, 0x676f02d9);
    gg(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    hh(a, b, c, d, x[5], 4, 0xfffa3942);
    hh(d, a, b, c, x[8], 11, 0x8771f681);
    hh(c, d, a, b, x[11], 16, 0x6d9d6122);
    hh(b, c, d, a, x[14], 23, 0xfde5380c);
    hh(a, b, c, d, x[1], 4, 0xa4beea44);
    hh(d, a, b, c, x[4], 11, 0x4bdecfa9);
    hh(c, d, a, b, x[7], 16, 0xf6bb4b60);
    hh(b, c, d, a, x[10], 23, 0xbebfbc70);
    hh(a, b, c, d, x[13], 4, 0x289b7ec6);
    hh(d, a, b, c, x[0], 11, 0xeaa127fa);
    hh(c, d, a, b, x[3], 16, 0xd4ef3085);
    hh(b, c, d, a, x[6], 23, 0x04881d05);
    hh(a, b, c, d, x[9], 4, 0xd9d4d039);
    hh(d, a, b, c, x[12], 11, 0xe6db99e5);
    hh(c, d, a, b, x[15], 16, 0x1fa27cf8);
    hh(b, c, d, a, x[2], 23, 0xc4ac5665);

    ii(a, b, c, d, x[0], 6, 0xf4292244);
    ii(d, a, b, c, x[7], 10, 0x432aff97);
    ii(c, d, a, b, x[14], 15, 0xab9423a7);
    ii(b, c, d, a, x[5], 21, 0xfc93a039);
    ii(a, b, c, d, x[12], 6, 0x655b59c3);
    ii(d, a, b, c, x[3], 10, 0x8f0ccc92);
    ii(c, d, a, b, x[10], 15, 0xffeff47d);
    ii(b, c, d, a, x[1], 21, 0x85845dd1);
    ii(a, b, c, d, x[8], 6, 0x6fa87e4f);
    ii(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    ii(c, d, a, b, x[6], 15, 0xa3014314);
    ii(b, c, d, a, x[13], 21, 0x4e0811a1);
    ii(a, b, c, d, x[4], 6, 0xf7537e82);
    ii(d, a, b, c, x[11], 10, 0xbd3af235);
    ii(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    ii(b, c, d, a, x[9], 21, 0xeb86d391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

extern "C" void MD5Init(MD5Context *context) {
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    context->count[0] = context->count[1] = 0;
}

extern "C" void MD5Update(MD5Context *context, const unsigned char *input, uint32_t inputLen) {
    if (inputLen == 0) return;
    uint32_t index = (context->count[0] >> 3) & 0x3f;
    uint32_t bits = inputLen << 3;
    context->count[0] += bits;
    if (context->count[0] < bits) ++context->count[1];
    context->count[1] += inputLen >> 29;

    uint32_t i = 0;
    if (index && inputLen >= 64 - index) {  // the buffered block is completed first
        i = 64 - index;
        std::memcpy(&context->buffer[index], input, i);
        md5Transform(context->state, context->buffer);
        index = 0;
    }
    if (index == 0)
        for (; inputLen - i >= 64; i += 64) md5Transform(context->state, input + i);
    std::memcpy(&context->buffer[index], input + i, inputLen - i);
}

// The padding (0x80, zeros up to 56 modulo 64) and the bit count go straight
// into the buffer: one or two last transforms, no detour through MD5Update.
extern "C" void MD5Final(unsigned char digest[16], MD5Context *context) {
    unsigned char *buffer = context->buffer;
    uint32_t index = (context->count[0] >> 3) & 0x3f;
    buffer[index++] = 0x80;
    if (index > 56) {
        std::memset(buffer + index, 0, 64 - index);
        md5Transform(context->state, buffer);
        index = 0;
    }
    std::memset(buffer + index, 0, 56 - index);
    store32le(buffer + 56, context->count[0]);
    store32le(buffer + 60, context->count[1]);
    md5Transform(context->state, buffer);
    for (int i = 0; i < 4; ++i) store32le(digest + 4 * i, context->state[i]);
    wipe(context, sizeof *context);
}
