// PPPoE probe: a PADI for any service, and the PADO that answers it.
#include <zezarur/zezarur.h>

#include <cstdio>

#include "link/frames.hpp"

using namespace zezarur::link;

extern "C" int pppoeSend(LinkHandle *link) {
    startFrame(outData, mac, etherPppoeDiscovery);
    outData[pppoeVerType] = pppoeVer1Type1;
    outData[pppoeCode] = codePadi;
    store16be(outData + pppoeSession, 0);
    store16be(outData + pppoeLength, 4);  // the one empty Service-Name tag
    store16be(outData + pppoeTagType, tagServiceName);
    store16be(outData + pppoeTagLength, 0);
    return linkSend(link, outData, padiSize);
}

extern "C" int pppoeCheck(const unsigned char *frame, int len) {
    if (!frame || len < static_cast<int>(pppoeHeaderEnd)) return 1;
    if (!sameMac(frame + ethDst, mac)) return 1;
    if (load16be(frame + ethType) != etherPppoeDiscovery) return 1;
    if (frame[pppoeVerType] != pppoeVer1Type1) return 1;
    if (frame[pppoeCode] != codePado) return 1;
    if (load16be(frame + pppoeSession) != 0) return 1;
    ispFound |= ISP_PPPOE;
    std::puts("PPPoE detected");
    return 0;
}
