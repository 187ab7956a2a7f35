// MD5 of a message fed in pieces equals MD5 of the message in one call, and
// MD5Final leaves every byte of the context zero.  The first byte says how
// many of the following bytes are piece lengths (cycled through); the rest is
// the message.
#include <zezarur/zezarur.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void finish(MD5Context &context, unsigned char digest[16]) {
    MD5Final(digest, &context);
    static const MD5Context zero{};
    if (std::memcmp(&context, &zero, sizeof context) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return -1;
    size_t cuts = std::min<size_t>(data[0] % 16, size - 1);
    const uint8_t *lengths = data + 1, *message = data + 1 + cuts;
    size_t n = size - 1 - cuts;

    MD5Context context;
    unsigned char whole[16], pieces[16];
    MD5Init(&context);
    MD5Update(&context, message, static_cast<uint32_t>(n));
    finish(context, whole);

    MD5Init(&context);
    for (size_t at = 0, i = 0; at < n; ++i) {
        // Lengths 1 to 199, 64 and 128 (whole blocks) for 200 and above;
        // 0 is an empty update followed by a 1-byte piece.
        size_t piece = cuts ? lengths[i % cuts] : n;
        if (piece >= 200) piece = piece % 2 ? 64 : 128;
        if (piece == 0) {
            MD5Update(&context, message + at, 0);
            piece = 1;
        }
        piece = std::min(piece, n - at);
        MD5Update(&context, message + at, static_cast<uint32_t>(piece));
        at += piece;
    }
    finish(context, pieces);
    if (std::memcmp(whole, pieces, sizeof whole) != 0) std::abort();
    return 0;
}
