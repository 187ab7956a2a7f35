// Where the fields of the probe frames and their answers lie: byte offsets
// from the start of the Ethernet header, every field big-endian.  Frames are
// built and read at these offsets with the byte helpers only, so they come
// out the same on the big-endian router and on a little-endian build host.
#pragma once

#include <zezarur/zezarur.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/bytes.hpp"

namespace zezarur::link {

using zezarur::load16be;
using zezarur::load32be;
using zezarur::store16be;
using zezarur::store32be;

constexpr std::size_t frameMax = 1514;  // header and 1500 bytes, no FCS
constexpr std::size_t macSize = 6;
constexpr std::uint8_t hardwareEthernet = 1, ipv4AddressSize = 4;  // ARP and BOOTP types

// Ethernet II header.
constexpr std::size_t ethDst = 0, ethSrc = 6, ethType = 12, ethHeaderEnd = 14;
static_assert(ethSrc == ethDst + macSize && ethType == ethSrc + macSize &&
              ethHeaderEnd == ethType + 2);
constexpr std::uint16_t etherIpv4 = 0x0800, etherArp = 0x0806, etherPppoeDiscovery = 0x8863;

// PPPoE discovery (RFC 2516); a PADI asks for any service.
constexpr std::size_t pppoeVerType = 14, pppoeCode = 15, pppoeSession = 16, pppoeLength = 18,
                      pppoeTagType = 20, pppoeTagLength = 22, padiSize = 24;
static_assert(pppoeVerType == ethHeaderEnd && pppoeCode == pppoeVerType + 1 &&
              pppoeSession == pppoeCode + 1 && pppoeLength == pppoeSession + 2 &&
              pppoeTagType == pppoeLength + 2 && pppoeTagLength == pppoeTagType + 2 &&
              padiSize == pppoeTagLength + 2);
constexpr std::size_t pppoeHeaderEnd = pppoeTagType;  // what a check reads
constexpr std::uint8_t pppoeVer1Type1 = 0x11, codePadi = 0x09, codePado = 0x07;
constexpr std::uint16_t tagServiceName = 0x0101;

// ARP for IPv4 over Ethernet (RFC 826).
constexpr std::size_t arpHtype = 14, arpPtype = 16, arpHlen = 18, arpPlen = 19, arpOp = 20,
                      arpSha = 22, arpSpa = 28, arpTha = 32, arpTpa = 38, arpSize = 42;
static_assert(arpHtype == ethHeaderEnd && arpPtype == arpHtype + 2 && arpHlen == arpPtype + 2 &&
              arpPlen == arpHlen + 1 && arpOp == arpPlen + 1 && arpSha == arpOp + 2 &&
              arpSpa == arpSha + macSize && arpTha == arpSpa + 4 && arpTpa == arpTha + macSize &&
              arpSize == arpTpa + 4);
constexpr std::uint16_t arpRequest = 1, arpReply = 2;

// IPv4 header without options, UDP header, BOOTP/DHCP message (RFC 2131).
constexpr std::size_t ipVerIhl = 14, ipTos = 15, ipTotalLength = 16, ipId = 18, ipFrag = 20,
                      ipTtl = 22, ipProto = 23, ipChecksum = 24, ipSrc = 26, ipDst = 30,
                      ipHeaderSize = 20;
static_assert(ipVerIhl == ethHeaderEnd && ipTotalLength == ipTos + 1 && ipId == ipTotalLength + 2 &&
              ipFrag == ipId + 2 && ipTtl == ipFrag + 2 && ipProto == ipTtl + 1 &&
              ipChecksum == ipProto + 1 && ipSrc == ipChecksum + 2 && ipDst == ipSrc + 4 &&
              ipDst + 4 == ipVerIhl + ipHeaderSize);
constexpr std::size_t udpSrc = 34, udpDst = 36, udpLength = 38, udpChecksum = 40;
static_assert(udpSrc == ipVerIhl + ipHeaderSize && udpDst == udpSrc + 2 &&
              udpLength == udpDst + 2 && udpChecksum == udpLength + 2);
constexpr std::size_t bootpOp = 42, bootpHtype = 43, bootpHlen = 44, bootpHops = 45,
                      bootpXid = 46, bootpSecs = 50, bootpFlags = 52, bootpCiaddr = 54,
                      bootpChaddr = 70, bootpSname = 86, bootpFile = 150, bootpCookie = 278,
                      dhcpOptions = 282;
static_assert(bootpOp == udpChecksum + 2 && bootpXid == bootpHops + 1 &&
              bootpSecs == bootpXid + 4 && bootpFlags == bootpSecs + 2 &&
              bootpCiaddr == bootpFlags + 2 && bootpChaddr == bootpCiaddr + 4 * 4 &&
              bootpSname == bootpChaddr + 16 && bootpFile == bootpSname + 64 &&
              bootpCookie == bootpFile + 128 && dhcpOptions == bootpCookie + 4);
// UDP header, fixed BOOTP fields and cookie: what a UDP length counts
// before the options.
constexpr std::size_t dhcpFixed = dhcpOptions - udpSrc;
static_assert(dhcpFixed == 248);
// The longest UDP datagram that fits the frame buffer; its options end at
// the buffer's last byte.
constexpr std::size_t udpLengthMax = frameMax - udpSrc;
static_assert(udpLengthMax == 1480 && dhcpOptions + (udpLengthMax - dhcpFixed) == frameMax);

constexpr std::uint8_t ipv4NoOptions = 0x45, protoUdp = 17;
constexpr std::uint16_t portServer = 67, portClient = 68;
constexpr std::uint8_t bootRequest = 1, bootReply = 2;
constexpr std::uint32_t dhcpCookie = 0x63825363, probeXid = 1;
constexpr std::uint8_t optMessageType = 53, optDomainName = 15, optEnd = 255;
constexpr std::uint8_t dhcpDiscover = 1, dhcpOffer = 2;

inline bool sameMac(const unsigned char *a, const unsigned char *b) {
    return std::memcmp(a, b, macSize) == 0;
}

// Clears the whole frame buffer and writes a broadcast Ethernet header from
// source, so every byte not set afterwards is zero.
inline void startFrame(unsigned char *frame, const unsigned char *source, std::uint16_t type) {
    std::memset(frame, 0, frameMax);
    std::memcpy(frame + ethDst, bcastMac, macSize);
    std::memcpy(frame + ethSrc, source, macSize);
    store16be(frame + ethType, type);
}

}  // namespace zezarur::link
