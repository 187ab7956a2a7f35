// ISP probes in-process, for what the sandbox cannot show: the handle, the
// bounds of the checks, the option walk and the debug dump.
#include <zezarur/zezarur.h>

#include <dlfcn.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "capture.hpp"
#include "platform/bytes.hpp"

namespace {

using Bytes = std::vector<unsigned char>;
const Bytes bcast(6, 0xff), router = {2, 0, 0, 0, 4, 1};

// A frame of `size` zero bytes with `spans` (offset, bytes) written in.
Bytes frame(size_t size, std::vector<std::pair<size_t, Bytes>> spans) {
    Bytes f(size);
    for (auto &[at, bytes] : spans) std::copy(bytes.begin(), bytes.end(), f.begin() + long(at));
    return f;
}

// The length of the last frame handed to the kernel, on its way to the real call.
size_t lastSent = 0;

// The frames' bytes are proven on the wire, by scapy; here, that a spoofed
// discover takes its length from the discover before it, and that after the
// ARP probe, whose bytes would give a length past outData, nothing goes out.
TEST(LinkFrames, SpoofedDiscoverLengthComesFromTheDiscover) {
    LinkHandle link{-1, {}};
    EXPECT_EQ(dhcpSend(nullptr) + dhcpSpoofSend(&link), 0);
    EXPECT_EQ(lastSent, 514u);
    lastSent = 0;
    pptpSend(nullptr);
    EXPECT_EQ(dhcpSpoofSend(&link), 0);
    EXPECT_EQ(lastSent, 0u);
}

// RFC 1071's example (word sum above 2^17) and a header whose sum lies
// between 2^16 and 2^17, its checksum as scapy computes it: the carry folds
// back in both, and the field's old value never counts.
TEST(LinkFrames, ChecksumFoldsTheCarryWhateverTheFieldHolds) {
    struct { unsigned char header[20]; unsigned checksum; } cases[] = {
        {{0x45, 0, 0, 0x73, 0, 0, 0x40, 0, 0x40, 0x11, 0xAB, 0xCD, 0xc0, 0xa8, 0, 1, 0xc0, 0xa8, 0, 0xc7}, 0xb861},
        {{0x45, 0, 0, 0x1c, 0, 0, 0x40, 0, 0x40, 0x11, 0xAB, 0xCD, 0xc0, 0xa8, 0, 1, 10, 0, 0, 2}, 0x7026},
    };
    for (auto &c : cases) {
        ipcsum(c.header);
        EXPECT_EQ(zezarur::load16be(c.header + 10), c.checksum);
    }
}

TEST(LinkHandle, SendLeavesProtocolAndDestinationReceiveClearsBuffer) {
    LinkHandle link{-1, {}};  // no socket: both calls fail after their side effects
    Bytes padi = frame(24, {{0, bcast}, {12, {0x88, 0x63}}});
    EXPECT_EQ(linkSend(&link, padi.data(), 24), 1);
    const auto *protocol = reinterpret_cast<const unsigned char *>(&link.address.sll_protocol);
    EXPECT_EQ(Bytes(protocol, protocol + 2), (Bytes{0x88, 0x63}));
    EXPECT_EQ(Bytes(link.address.sll_addr, link.address.sll_addr + 6), bcast);
    Bytes buffer(60, 0xAA);
    EXPECT_EQ(linkRecv(&link, buffer.data(), 0), 1);
    EXPECT_EQ(buffer[0], 0xAA);
    EXPECT_EQ(linkRecv(&link, buffer.data(), 60), 1);
    EXPECT_EQ(buffer, Bytes(60));
    EXPECT_EQ(linkSend(nullptr, padi.data(), 24) + linkRecv(nullptr, buffer.data(), 60), 2);
}

TEST(LinkChecks, ReadNothingBeyondTheLengthGiven) {
    std::memcpy(mac, router.data(), 6);
    Bytes pado = frame(20, {{0, router}, {12, {0x88, 0x63, 0x11, 7}}});
    Bytes arp = frame(42, {{0, router}, {12, {8, 6, 0, 1, 8, 0, 6, 4, 0, 2}}, {28, {10, 0, 0, 138}},
                           {32, router}, {38, {10, 0, 0, 140}}});
    Bytes offer = frame(290, {{0, router}, {12, {8, 0, 0x45}}, {23, {17}}, {34, {0, 67, 0, 68, 1, 0}},
                              {42, {2}}, {49, {1}}, {278, {0x63, 0x82, 0x53, 0x63, 53, 1, 2, 0xff}}});
    stdoutOf([&] {
        EXPECT_EQ(pppoeCheck(pado.data(), 19) + pptpCheck(arp.data(), 41), 2);
        EXPECT_EQ(dhcpCheck(offer.data(), 289), 1);  // UDP length 256 ends at 290
        EXPECT_EQ(dhcpBigPondCheck(offer.data()) + dhcpSpoofCheck(offer.data()), 2);
        EXPECT_EQ(pppoeCheck(pado.data(), 20) + pptpCheck(arp.data(), 42), 0);
        EXPECT_EQ(dhcpCheck(offer.data(), 290), 0);
        pado[5] ^= 1;  // another station's
        EXPECT_EQ(pppoeCheck(pado.data(), 20), 1);
    });
}

TEST(LinkChecks, OptionWalkPrintsEachOptionAndStaysInside) {
    const unsigned char options[] = {53, 1, 2, 255, 0, 15, 4, 'a'};
    std::string out = stdoutOf([&] {
        EXPECT_EQ(dhcpGetOpt(options, 5, 0x135), options);  // low 8 bits: 53
        EXPECT_EQ(dhcpGetOpt(options, 5, 15), nullptr);
        EXPECT_EQ(dhcpGetOpt(options + 5, 3, 15), nullptr);  // data past the end
        EXPECT_EQ(dhcpGetOpt(options + 5, 1, 15), nullptr);  // no length byte
        EXPECT_EQ(dhcpGetOpt(options, 0, 53), nullptr);
        EXPECT_EQ(dhcpGetOpt(nullptr, 5, 53), nullptr);
    });
    EXPECT_EQ(out, " 35 35 1\n 35 f 1\n ff f 0\n f f 4\n");
}

TEST(LinkDebug, HexDumpEightToALine) {
    const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 0xab};
    EXPECT_EQ(stdoutOf([&] { hexDump("x:", data, 3); }), "x:01 02 03 \n");
    EXPECT_EQ(stdoutOf([&] { hexDump("x:", data, 8); }), "x:01 02 03 04 05 06 07 ab\n\n");
    char null[64];
    std::snprintf(null, sizeof null, "x: %p\n", static_cast<void *>(nullptr));
    EXPECT_EQ(stdoutOf([&] { hexDump("x:", nullptr, 8); }), null);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ssize_t sendto(
    int fd, const void *buf, size_t len, int flags, const sockaddr *to, socklen_t toLength) {
    lastSent = len;
    using Real = ssize_t (*)(int, const void *, size_t, int, const sockaddr *, socklen_t);
    return reinterpret_cast<Real>(dlsym(RTLD_NEXT, "sendto"))(fd, buf, len, flags, to, toLength);
}
