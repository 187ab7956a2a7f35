// Base64 as in mail (RFC 2045): standard alphabet, '=' padding, a line feed
// after every 76 characters.  The codec owns its latest result: the next
// encode or decode frees it unless base64_detach has handed it over.
#include <zezarur/zezarur.h>

#include <array>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

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
    char *out = text;
    for (int groups = 0; n > 2; n -= 3, in += 3) {
        *out++ = sextet(in[0] >> 2);
        *out++ = sextet(unsigned(in[0]) << 4 | in[1] >> 4);
        *out++ = sextet(unsigned(in[1]) << 2 | in[2] >> 6);
        *out++ = sextet(in[2]);
        if (++groups == 19) {  // 76 characters
            *out++ = '\n';
            groups = 0;
        }
    }
    if (n == 2) {
        *out++ = sextet(in[0] >> 2);
        *out++ = sextet(unsigned(in[0]) << 4 | in[1] >> 4);
        *out++ = sextet(unsigned(in[1]) << 2);
        *out++ = '=';
    } else if (n == 1) {
        *out++ = sextet(in[0] >> 2);
        *out++ = sextet(unsigned(in[0]) << 4);
        *out++ = '=';
        *out++ = '=';
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

    unsigned char *out = bytes;
    uint32_t group = 0;
    int values = 0;
    for (auto *in = reinterpret_cast<const unsigned char *>(text);; ++in) {
        unsigned char value = decodeTable[*in];
        if (value == skipMark) continue;
        if (value == endMark) break;
        group = group << 6 | value;
        if (++values == 4) {
            *out++ = static_cast<unsigned char>(group >> 16);
            *out++ = static_cast<unsigned char>(group >> 8);
            *out++ = static_cast<unsigned char>(group);
            group = 0;
            values = 0;
        }
    }
    // The values missing from the last group count as zero; of its three
    // bytes only those its values fully cover are kept.
    if (values >= 2) {
        group <<= 6 * (4 - values);
        *out++ = static_cast<unsigned char>(group >> 16);
        if (values == 3) *out++ = static_cast<unsigned char>(group >> 8);
    }
    *out = '\0';
    return keep(reinterpret_cast<char *>(bytes), static_cast<int>(out - bytes), length);
}

extern "C" char *base64_detach(int *length) {
    char *result = kept;
    kept = nullptr;
    if (length) *length = latestLength;
    return result;
}
