// Base64 as in mail (RFC 2045): standard alphabet, '=' padding, a line feed
// after every 76 characters.  The codec owns its latest result: the next
// encode or decode frees it unless base64_detach has handed it over.
#include <zezarur/zezarur.h>

#include "platform/bytes.hpp"

#include <array>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

using zezarur::load16be;
using zezarur::load24be;
using zezarur::load32be;
using zezarur::store24be;

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char endMark = 255;   // NUL and '=' end the text
constexpr unsigned char skipMark = 100;  // anything else outside the alphabet is passed over

constexpr std::array<unsigned char, 256> decodeTable = [] {
    std::array<unsigned char, 256> table{};
    table.fill(skipMark);
    for (unsigned char value = 0; value < 64; ++value)
        table[static_cast<unsigned char>(alphabet[value])] = value;
    table['\0'] = table['='] = endMark;
    return table;
}();

char *kept = nullptr;
int latestLength = 0;

// Makes result the kept one, releasing the one before it.
char *keep(char *result, int resultLength, int *length) {
    std::free(kept);
    kept = result;
    latestLength = resultLength;
    if (length) *length = resultLength;
    return result;
}

// The count of bytes to work on: the given one or the string's length.  A
// negative count is refused, and so is a result too long to count in an int
// (as if its buffer could not be had).
bool byteCount(const char *text, const int *length, size_t &n) {
    if (length && *length < 0) {
        errno = EINVAL;
        return false;
    }
    n = length ? static_cast<size_t>(*length) : std::strlen(text);
    return true;
}

bool countable(size_t capacity) {
    if (capacity <= INT_MAX) return true;
    errno = ENOMEM;
    return false;
}

char sextet(unsigned value) { return alphabet[value & 63]; }

// The encoder writes through a volatile pointer: one byte store a character.
// Compilers otherwise merge the stores into wider ones built by a chain of
// shifts that costs more than the stores themselves.
using Text = volatile char *;

// Three bytes into four characters.
Text encodeGroup(Text out, const unsigned char *in) {
    uint32_t group = load24be(in);
    for (int i = 0; i < 4; ++i) out[i] = sextet(group >> (18 - 6 * i));
    return out + 4;
}

// Six bytes into eight characters: two groups from one pair of loads.
Text encodeGroupPair(Text out, const unsigned char *in) {
    uint64_t groups = uint64_t{load32be(in)} << 16 | load16be(in + 4);
    for (int i = 0; i < 8; ++i) out[i] = sextet(static_cast<unsigned>(groups >> (42 - 6 * i)));
    return out + 8;
}

constexpr size_t lineGroups = 19;  // 76 characters
constexpr size_t lineBytes = 3 * lineGroups;

// Stores the first k bytes of a group's three, as many as fit before limit.
unsigned char *putGroup(unsigned char *out, const unsigned char *limit, uint32_t group, int k) {
    for (int i = 0; i < k && out < limit; ++i)
        *out++ = static_cast<unsigned char>(group >> (16 - 8 * i));
    return out;
}

// The 24 bits of four alphabet characters, or a value above 24 bits when one
// of them is a skip or end byte.
uint32_t decodeQuad(const unsigned char *in) {
    uint32_t a = decodeTable[in[0]];
    if (a > 63) return UINT32_MAX;
    uint32_t b = decodeTable[in[1]];
    if (b > 63) return UINT32_MAX;
    uint32_t c = decodeTable[in[2]];
    if (c > 63) return UINT32_MAX;
    uint32_t d = decodeTable[in[3]];
    if (d > 63) return UINT32_MAX;
    return a << 18 | b << 12 | c << 6 | d;
}

// Decodes the text up to its first end byte into bytes and returns their
// count.  A caller that breaks its promise of an end byte within the count
// gets no more than capacity bytes: decoding stops when they are filled.
size_t decodeText(unsigned char *bytes, size_t capacity, const unsigned char *in) {
    unsigned char *out = bytes;
    const unsigned char *const limit = bytes + capacity;
    uint32_t group = 0;
    int values = 0;
    while (out < limit) {
        // Four alphabet characters at a time while they come in whole groups,
        // passing over skip bytes between groups (the line feeds); each byte
        // is read only after the one before it proved not to be an end byte.
        if (values == 0)
            for (auto groups = (limit - out) / 3; groups > 0;) {
                uint32_t quad = decodeQuad(in);
                if (quad <= 0xffffff) {
                    store24be(out, quad);
                    out += 3;
                    in += 4;
                    --groups;
                } else if (decodeTable[*in] == skipMark) {
                    ++in;
                } else {
                    break;  // an end byte, or a group with a skip byte inside
                }
            }
        unsigned char value = decodeTable[*in++];
        if (value == skipMark) continue;
        if (value == endMark) break;
        group = group << 6 | value;
        if (++values == 4) {
            out = putGroup(out, limit, group, 3);
            group = 0;
            values = 0;
        }
    }
    // The values missing from the last group count as zero; of its three
    // bytes only those its values fully cover are kept.
    if (values >= 2) out = putGroup(out, limit, group << 6 * (4 - values), values - 1);
    return static_cast<size_t>(out - bytes);
}

}  // namespace

extern "C" char *base64_encode(const char *data, int *length) {
    if (!data) {
        errno = EINVAL;
        return nullptr;
    }
    size_t n;
    if (!byteCount(data, length, n)) return nullptr;
    size_t m = (4 * n + 8) / 3 + 1;
    size_t malloc_len = m + m / 76;
    if (!countable(malloc_len)) return nullptr;
    auto *text = static_cast<char *>(std::malloc(malloc_len));
    if (!text) return nullptr;

    auto *in = reinterpret_cast<const unsigned char *>(data);
    Text out = text;
    for (; n >= lineBytes; n -= lineBytes, in += lineBytes) {
        for (size_t g = 0; g + 1 < lineGroups; g += 2) out = encodeGroupPair(out, in + 3 * g);
        out = encodeGroup(out, in + lineBytes - 3);  // the 19th
        *out++ = '\n';
    }
    for (; n >= 3; n -= 3, in += 3) out = encodeGroup(out, in);
    if (n) {  // one or two bytes: a group padded with zero bits, then '=' for each missing byte
        unsigned char last[3] = {in[0], n == 2 ? in[1] : uint8_t{0}, 0};
        out = encodeGroup(out, last);
        out[-1] = '=';
        if (n == 1) out[-2] = '=';
    }
    *out = '\0';
    size_t _sf_b64_len = static_cast<size_t>(out - text);
    assert(_sf_b64_len < malloc_len);
    return keep(text, static_cast<int>(_sf_b64_len), length);
}

extern "C" char *base64_decode(const char *text, int *length) {
    if (!text) text = "";
    size_t n;
    if (!byteCount(text, length, n) || !countable(n)) return nullptr;
    auto *bytes = static_cast<unsigned char *>(std::malloc(n + 1));
    if (!bytes) return nullptr;
    if (length) *length = 0;
    size_t decoded = decodeText(bytes, n, reinterpret_cast<const unsigned char *>(text));
    bytes[decoded] = '\0';
    return keep(reinterpret_cast<char *>(bytes), static_cast<int>(decoded), length);
}

extern "C" char *base64_detach(int *length) {
    char *result = kept;
    kept = nullptr;
    if (length) *length = latestLength;
    return result;
}
