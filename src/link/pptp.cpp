// PPTP probe: who has the modem's address 10.0.0.138, asked by ARP as
// 10.0.0.140, and the reply that tells a PPTP modem is there.
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstring>

#include "link/frames.hpp"

using namespace zezarur::link;

namespace {

constexpr std::uint32_t modemAddress = 0x0A00008A;  // 10.0.0.138
constexpr std::uint32_t probeAddress = 0x0A00008C;  // 10.0.0.140

}  // namespace

extern "C" int pptpSend(LinkHandle *link) {
    startFrame(outData, mac, etherArp);
    store16be(outData + arpHtype, hardwareEthernet);
    store16be(outData + arpPtype, etherIpv4);
    outData[arpHlen] = macSize;
    outData[arpPlen] = ipv4AddressSize;
    store16be(outData + arpOp, arpRequest);
    std::memcpy(outData + arpSha, mac, macSize);
    store32be(outData + arpSpa, probeAddress);
    store32be(outData + arpTpa, modemAddress);  // target hardware address stays zero
    linkSend(link, outData, arpSize);
    return 0;
}

extern "C" int pptpCheck(const unsigned char *frame, int len) {
    if (!frame || len < static_cast<int>(arpSize)) return 1;
    if (!sameMac(frame + ethDst, mac)) return 1;
    if (load16be(frame + ethType) != etherArp) return 1;
    if (load16be(frame + arpHtype) != hardwareEthernet || load16be(frame + arpPtype) != etherIpv4 ||
        frame[arpHlen] != macSize || frame[arpPlen] != ipv4AddressSize)
        return 1;
    if (load16be(frame + arpOp) != arpReply) return 1;
    if (!sameMac(frame + arpTha, mac)) return 1;
    if (load32be(frame + arpSpa) != modemAddress) return 1;
    if (load32be(frame + arpTpa) != probeAddress) return 1;
    ispFound |= ISP_PPTP;
    std::puts("PPTP detected");
    return 0;
}
