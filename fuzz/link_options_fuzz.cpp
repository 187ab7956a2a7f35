// dhcpGetOpt on any options, in a buffer of exactly their length, with any
// wanted code (input byte 0) and any length argument up to the buffer's size
// (input bytes 1 and 2, signed, reduced modulo size + 1).  A found option lies
// wholly within the length given.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();  // the walk's lines
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3 || size > 4096) return -1;
    const int code = data[0], len = static_cast<int16_t>(data[1] << 8 | data[2]) % static_cast<int>(size - 2);
    auto *options = static_cast<unsigned char *>(std::malloc(size - 3 ? size - 3 : 1));
    std::memcpy(options, data + 3, size - 3);

    const unsigned char *found = dhcpGetOpt(options, len, code);
    if (found && (found < options || found[0] != code || found[1] == 0 ||
                  found - options + 2 + found[1] > len))
        std::abort();

    std::free(options);
    return 0;
}
