// Checks of a received frame against the DHCP probes: an offer to our
// DISCOVER, a BigPond domain name in it, and an offer to the foreign address.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstring>

#include "link/frames.hpp"

using namespace zezarur::link;

uint32_t dhcpFound;

namespace {

// How many option bytes the UDP length leaves, or -1 when it is shorter than
// the fixed part or longer than the frame buffer holds.
int optionsLength(const unsigned char *frame) {
    unsigned options = load16be(frame + udpLength) - unsigned{dhcpFixed};
    return options <= udpLengthMax - dhcpFixed ? static_cast<int>(options) : -1;
}

// Broadcasts from other stations pass (a server may answer that way);
// our own broadcasts, such as the DISCOVERs, do not.
bool addressedToUs(const unsigned char *frame) {
    if (!sameMac(frame + ethDst, bcastMac))
        return sameMac(frame + ethDst, mac) || sameMac(frame + ethDst, spoofedMac);
    if (sameMac(frame + ethSrc, mac)) return false;
    std::puts("DCHP response is broadcast");
    return true;
}

bool isBootReplyUdp(const unsigned char *frame) {
    return load16be(frame + ethType) == etherIpv4 && frame[ipVerIhl] == ipv4NoOptions &&
           frame[ipProto] == protoUdp && load16be(frame + udpSrc) == portServer &&
           load16be(frame + udpDst) == portClient;
}

bool isOffer(const unsigned char *frame, int len) {
    if (!frame || len < static_cast<int>(bootpOp) || !addressedToUs(frame) ||
        !isBootReplyUdp(frame))
        return false;
    std::printf("length %d\n", load16be(frame + udpLength) - 8);
    const int options = optionsLength(frame);
    // The whole datagram must lie within the len bytes given.
    if (options < 0 || static_cast<int>(dhcpOptions) + options > len) return false;
    if (frame[bootpOp] != bootReply || load32be(frame + bootpXid) != probeXid ||
        load32be(frame + bootpCookie) != dhcpCookie)
        return false;
    const unsigned char *type = dhcpGetOpt(frame + dhcpOptions, options, optMessageType);
    return type && type[2] == dhcpOffer;
}

// BigPond's domain names: "bigpond" in any case at the start, or in lower
// case from a later lowercase 'b' on.
bool isBigPond(const char *name) {
    for (const char *candidate = name; candidate; candidate = std::strchr(candidate + 1, 'b')) {
        if (adp_strncasecmp(candidate, "bigpond", 7) == 0) return true;
        if (!*candidate) break;
    }
    return false;
}

}  // namespace

extern "C" int dhcpCheck(const unsigned char *frame, int len) {
    dhcpFound = 0;
    if (!isOffer(frame, len)) return 1;
    dhcpFound = 1;
    ispFound |= ISP_DHCP;
    std::puts("DHCP detected");
    return 0;
}

extern "C" int dhcpBigPondCheck(const unsigned char *frame) {
    if (!frame || !dhcpFound) return 1;
    const int options = optionsLength(frame);
    const unsigned char *domain = dhcpGetOpt(frame + dhcpOptions, options, optDomainName);
    if (!domain) return 1;
    char name[256] = {};
    std::memcpy(name, domain + 2, domain[1]);  // at most 255 bytes: NUL-terminated
    if (!isBigPond(name)) return 1;
    ispFound |= ISP_BIGPOND;
    std::puts("BigPond detected");
    return 0;
}

extern "C" int dhcpSpoofCheck(const unsigned char *frame) {
    if (!frame || !dhcpFound || !sameMac(frame + ethDst, spoofedMac)) return 1;
    ispFound |= ISP_DHCPSPOOF;
    std::puts("DHCP detected with spoofed MAC");
    return 0;
}
