// The IPv4 header checksum (RFC 791), summed as in RFC 1071.
#include <zezarur/zezarur.h>

#include <cstdint>

#include "link/frames.hpp"

using namespace zezarur::link;

extern "C" void ipcsum(unsigned char *ipHeader) {
    constexpr std::size_t checksumAt = ipChecksum - ipVerIhl;
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < ipHeaderSize; at += 2)
        if (at != checksumAt) sum += load16be(ipHeader + at);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    store16be(ipHeader + checksumAt, static_cast<std::uint16_t>(~sum));
}
