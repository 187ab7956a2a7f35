// DHCP probes: a DHCPDISCOVER from the interface's own address, and the same
// DISCOVER again from a foreign address, to see whether the ISP's server
// answers clients it does not know.
#include <zezarur/zezarur.h>

#include <cstring>

#include "link/frames.hpp"

using namespace zezarur::link;

unsigned char spoofedMac[6] = {0x00, 0xff, 0xd9, 0x74, 0x47, 0x00};

namespace {

constexpr std::uint16_t discoverIpLength = 500;
constexpr std::uint16_t discoverUdpLength = discoverIpLength - ipHeaderSize;
static_assert(ethHeaderEnd + discoverIpLength == 514 && discoverUdpLength == 480);
constexpr std::uint8_t tosDiscover = 0x01, ttl = 64, optParameterList = 55;

// Sends the DISCOVER in outData from source: the Ethernet source and the
// client hardware address, then the header checksum; the length is the one
// the IP header gives.  When outData holds another probe (dhcpSpoofSend not
// right after dhcpSend), that field is foreign bytes: a length past the
// buffer is not sent.
int sendFrom(LinkHandle *link, const unsigned char *source) {
    unsigned char *f = outData;
    std::memcpy(f + ethSrc, source, macSize);
    std::memcpy(f + bootpChaddr, source, macSize);
    ipcsum(f + ipVerIhl);
    const unsigned length = ethHeaderEnd + load16be(f + ipTotalLength);
    if (length <= sizeof outData) linkSend(link, f, length);
    return 0;
}

}  // namespace

extern "C" int dhcpSend(LinkHandle *link) {
    unsigned char *f = outData;
    startFrame(f, mac, etherIpv4);
    f[ipVerIhl] = ipv4NoOptions;
    f[ipTos] = tosDiscover;
    store16be(f + ipTotalLength, discoverIpLength);
    store16be(f + ipId, 1);
    f[ipTtl] = ttl;
    f[ipProto] = protoUdp;
    store32be(f + ipDst, 0xFFFFFFFF);  // from 0.0.0.0
    store16be(f + udpSrc, portClient);
    store16be(f + udpDst, portServer);
    store16be(f + udpLength, discoverUdpLength);  // no UDP checksum
    f[bootpOp] = bootRequest;
    f[bootpHtype] = hardwareEthernet;
    f[bootpHlen] = macSize;
    store32be(f + bootpXid, probeXid);  // broadcast flag clear: offers come unicast
    store32be(f + bootpCookie, dhcpCookie);
    const unsigned char options[] = {optMessageType, 1, dhcpDiscover,
                                     optParameterList, 1, optDomainName, optEnd};
    std::memcpy(f + dhcpOptions, options, sizeof options);
    return sendFrom(link, mac);
}

extern "C" int dhcpSpoofSend(LinkHandle *link) { return sendFrom(link, spoofedMac); }
