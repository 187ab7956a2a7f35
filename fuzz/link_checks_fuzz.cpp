// The frame checks of the link applet on a 1514-byte buffer, as the driver
// hands them inData, with any contents and any length argument (the first 4
// input bytes, big-endian).  The checks run in the driver's order; a
// DHCP verdict must agree with dhcpFound and ispFound.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const unsigned char router[6] = {0x02, 0x00, 0x00, 0x00, 0x04, 0x01};
    std::memcpy(mac, router, sizeof mac);
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();  // the checks' progress lines
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return -1;
    const auto len = static_cast<int>(uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3]);
    auto *frame = static_cast<unsigned char *>(std::calloc(1, sizeof inData));
    std::memcpy(frame, data + 4, size - 4 < sizeof inData ? size - 4 : sizeof inData);

    ispFound = 0;
    pppoeCheck(frame, len);
    pptpCheck(frame, len);
    const int dhcp = dhcpCheck(frame, len);
    if ((dhcp == 0) != (dhcpFound == 1) || (dhcp == 0) != ((ispFound & ISP_DHCP) != 0)) std::abort();
    dhcpBigPondCheck(frame);
    dhcpSpoofCheck(frame);
    if (dhcp != 0 && (ispFound & (ISP_BIGPOND | ISP_DHCPSPOOF))) std::abort();

    std::free(frame);
    return 0;
}
