// The walk through a DHCP message's options, each read as code, length and
// data (Pad and End too), that never reads at or beyond the options' end.
#include <zezarur/zezarur.h>

#include <cstdio>

extern "C" const unsigned char *dhcpGetOpt(const unsigned char *options, int len, int code) {
    if (!options || len < 1) return nullptr;
    const auto wanted = static_cast<unsigned char>(code);
    for (int at = 0; at + 1 < len;) {
        const unsigned char optCode = options[at], optLength = options[at + 1];
        std::printf(" %x %x %d\n", optCode, wanted, optLength);
        if (optLength == 0 || at + 2 + optLength > len) return nullptr;
        if (optCode == wanted) return options + at;
        at += 2 + optLength;
    }
    return nullptr;
}
