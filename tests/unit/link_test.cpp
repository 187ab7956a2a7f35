// ISP probes in-process: the frames byte for byte against golden arrays, and
// the checks on hand-made frames, whatever the host's byte order.
#include <zezarur/zezarur.h>

#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
const unsigned char router[6] = {0x02, 0x00, 0x00, 0x00, 0x04, 0x01};

template <typename F>
std::string stdoutOf(F f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// The probe frame in outData, as built, with the rest of the buffer zero.
void expectFrame(const Bytes &golden) {
    EXPECT_EQ(Bytes(outData, outData + golden.size()), golden);
    EXPECT_EQ(Bytes(outData + golden.size(), outData + sizeof outData),
              Bytes(sizeof outData - golden.size()));
}

class Link : public testing::Test {
protected:
    void SetUp() override {
        std::memcpy(mac, router, 6);
        ispFound = 0;
    }
};

TEST_F(Link, PadiAndArpRequest) {
    EXPECT_EQ(pppoeSend(nullptr), 1);
    expectFrame({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0, 0, 0, 0x04, 0x01, 0x88, 0x63,
                 0x11, 0x09, 0, 0, 0, 0x04, 0x01, 0x01, 0, 0});
    EXPECT_EQ(pptpSend(nullptr), 0);
    expectFrame({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0, 0, 0, 0x04, 0x01, 0x08, 0x06,
                 0, 1, 0x08, 0, 6, 4, 0, 1, 0x02, 0, 0, 0, 0x04, 0x01, 10, 0, 0, 140,
                 0, 0, 0, 0, 0, 0, 10, 0, 0, 138});
}

TEST_F(Link, DiscoverFromOwnThenSpoofedAddress) {
    Bytes golden(514);
    auto put = [&](size_t at, Bytes bytes) { std::copy(bytes.begin(), bytes.end(), &golden[at]); };
    put(0, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0, 0, 0, 0x04, 0x01, 0x08, 0x00,
            0x45, 0x01, 0x01, 0xf4, 0, 1, 0, 0, 64, 17, 0x78, 0xf8, 0, 0, 0, 0,
            0xff, 0xff, 0xff, 0xff, 0, 68, 0, 67, 0x01, 0xe0, 0, 0, 1, 1, 6, 0, 0, 0, 0, 1});
    put(70, {0x02, 0, 0, 0, 0x04, 0x01});
    put(278, {0x63, 0x82, 0x53, 0x63, 53, 1, 1, 55, 1, 15, 255});
    EXPECT_EQ(dhcpSend(nullptr), 0);
    expectFrame(golden);
    put(6, {0x00, 0xff, 0xd9, 0x74, 0x47, 0x00});
    put(70, {0x00, 0xff, 0xd9, 0x74, 0x47, 0x00});
    EXPECT_EQ(dhcpSpoofSend(nullptr), 0);
    expectFrame(golden);
}

TEST(LinkChecksum, Rfc1071ExampleWithFieldSetOrNot) {
    unsigned char header[20] = {0x45, 0, 0, 0x73, 0, 0, 0x40, 0, 0x40, 0x11,
                                0xAB, 0xCD, 0xc0, 0xa8, 0, 1, 0xc0, 0xa8, 0, 0xc7};
    ipcsum(header);
    EXPECT_EQ(header[10] << 8 | header[11], 0xb861);
    ipcsum(header);
    EXPECT_EQ(header[10] << 8 | header[11], 0xb861);
}

TEST(LinkHandle, SendLeavesProtocolAndDestinationReceiveClearsBuffer) {
    LinkHandle link{};
    link.fd = -1;
    unsigned char padi[24] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 1, 2, 3, 4, 5, 6, 0x88, 0x63};
    EXPECT_EQ(linkSend(&link, padi, sizeof padi), 1);  // -1 is no socket: "send" error
    const auto *protocol = reinterpret_cast<const unsigned char *>(&link.address.sll_protocol);
    EXPECT_EQ(Bytes(protocol, protocol + 2), (Bytes{0x88, 0x63}));
    EXPECT_EQ(Bytes(link.address.sll_addr, link.address.sll_addr + 6), Bytes(6, 0xff));

    unsigned char buffer[60];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(linkRecv(&link, buffer, 0), 1);
    EXPECT_EQ(buffer[0], 0xAA);
    EXPECT_EQ(linkRecv(&link, buffer, sizeof buffer), 1);
    EXPECT_EQ(Bytes(buffer, buffer + sizeof buffer), Bytes(sizeof buffer));
    EXPECT_EQ(linkSend(nullptr, padi, 24) + linkRecv(nullptr, buffer, 60), 2);
}

// A PADO to us, changed at one byte: offset, value, accepted.
struct FrameEdit {
    int len;
    size_t at;
    unsigned char value;
    int result;
};
class PadoCheck : public Link, public testing::WithParamInterface<FrameEdit> {};
TEST_P(PadoCheck, AcceptsOnlyAPadoToUs) {
    unsigned char frame[1514] = {0x02, 0, 0, 0, 0x04, 0x01, 2, 0, 0, 0, 4, 0xfe, 0x88, 0x63,
                                 0x11, 0x07, 0, 0, 0, 4, 1, 1, 0, 0};
    frame[GetParam().at] = GetParam().value;
    std::string out = stdoutOf([&] { EXPECT_EQ(pppoeCheck(frame, GetParam().len), GetParam().result); });
    EXPECT_EQ(out, GetParam().result ? "" : "PPPoE detected\n");
    EXPECT_EQ(ispFound, GetParam().result ? 0u : ISP_PPPOE);
}
INSTANTIATE_TEST_SUITE_P(Edits, PadoCheck,
                         testing::Values(FrameEdit{20, 0, 0x02, 0}, FrameEdit{19, 0, 0x02, 1},
                                         FrameEdit{1514, 0, 0xff, 1}, FrameEdit{1514, 14, 0x21, 1},
                                         FrameEdit{1514, 15, 0x65, 1}, FrameEdit{1514, 17, 1, 1}));

class ArpCheck : public Link, public testing::WithParamInterface<FrameEdit> {};
TEST_P(ArpCheck, AcceptsOnlyTheModemsReply) {
    unsigned char frame[1514] = {0x02, 0, 0, 0, 0x04, 0x01, 2, 0, 0, 0, 4, 0xfe, 0x08, 0x06,
                                 0, 1, 0x08, 0, 6, 4, 0, 2, 2, 0, 0, 0, 4, 0xfe, 10, 0, 0, 138,
                                 0x02, 0, 0, 0, 0x04, 0x01, 10, 0, 0, 140};
    frame[GetParam().at] = GetParam().value;
    std::string out = stdoutOf([&] { EXPECT_EQ(pptpCheck(frame, GetParam().len), GetParam().result); });
    EXPECT_EQ(out, GetParam().result ? "" : "PPTP detected\n");
}
INSTANTIATE_TEST_SUITE_P(Edits, ArpCheck,
                         testing::Values(FrameEdit{42, 0, 0x02, 0}, FrameEdit{41, 0, 0x02, 1},
                                         FrameEdit{1514, 19, 6, 1}, FrameEdit{1514, 21, 1, 1},
                                         FrameEdit{1514, 37, 2, 1}, FrameEdit{1514, 41, 141, 1}));

TEST(DhcpOptions, WalkPrintsEachOptionAndStaysInside) {
    const unsigned char options[] = {53, 1, 2, 255, 0, 15, 4, 'a'};
    std::string out = stdoutOf([&] {
        EXPECT_EQ(dhcpGetOpt(options, 5, 0x135), options);  // low 8 bits: 53
        EXPECT_EQ(dhcpGetOpt(options, 5, 15), nullptr);
        EXPECT_EQ(dhcpGetOpt(options + 5, 3, 15), nullptr);   // data past the end
        EXPECT_EQ(dhcpGetOpt(options + 5, 1, 15), nullptr);   // no length byte
        EXPECT_EQ(dhcpGetOpt(options, 0, 53), nullptr);
    });
    EXPECT_EQ(out, " 35 35 1\n 35 f 1\n ff f 0\n f f 4\n");
}

// A DHCPOFFER to us carrying the domain name `domain`.
Bytes offer(const std::string &domain) {
    Bytes f(1514);
    std::memcpy(&f[0], router, 6);
    Bytes head = {0x08, 0x00, 0x45, 0, 0, 0, 0, 0, 0, 0, 64, 17};
    std::copy(head.begin(), head.end(), &f[12]);
    const size_t udpLength = 248 + 3 + 2 + domain.size() + 1;
    f[35] = 67, f[37] = 68, f[38] = static_cast<unsigned char>(udpLength >> 8),
    f[39] = static_cast<unsigned char>(udpLength);
    f[42] = 2, f[49] = 1;
    Bytes tail = {0x63, 0x82, 0x53, 0x63, 53, 1, 2, 15, static_cast<unsigned char>(domain.size())};
    std::copy(tail.begin(), tail.end(), &f[278]);
    std::copy(domain.begin(), domain.end(), &f[287]);
    f[287 + domain.size()] = 255;
    return f;
}

struct Domain {
    const char *name;
    bool bigPond;
};
class BigPondName : public Link, public testing::WithParamInterface<Domain> {};
TEST_P(BigPondName, IsMatchedAtTheStartOrAtALowercaseB) {
    Bytes f = offer(GetParam().name);
    stdoutOf([&] {
        EXPECT_EQ(dhcpCheck(f.data(), 1514), 0);
        EXPECT_EQ(dhcpBigPondCheck(f.data()), GetParam().bigPond ? 0 : 1);
    });
    EXPECT_EQ(ispFound, GetParam().bigPond ? (ISP_DHCP | ISP_BIGPOND) : ISP_DHCP);
}
INSTANTIATE_TEST_SUITE_P(Names, BigPondName,
                         testing::Values(Domain{"BigPOND", true}, Domain{"xbigpond", true},
                                         Domain{"bbigpon", false}, Domain{"", false},
                                         Domain{"Bigpond.b", true}, Domain{"a.Bigpond", false}));

TEST_F(Link, DhcpDatagramBeyondTheGivenLengthAndLaterChecksAfterARejection) {
    Bytes f = offer("bigpond");
    const int whole = 282 + 3 + 2 + 7 + 1;
    stdoutOf([&] {
        EXPECT_EQ(dhcpCheck(f.data(), whole), 0);
        EXPECT_EQ(dhcpCheck(f.data(), whole - 1), 1);
        EXPECT_EQ(dhcpFound, 0u);
        EXPECT_EQ(dhcpBigPondCheck(f.data()) + dhcpSpoofCheck(f.data()), 2);
    });
}

TEST(HexDump, EightToALineAndNull) {
    const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 0xab};
    EXPECT_EQ(stdoutOf([&] { hexDump("x:", data, 3); }), "x:01 02 03 \n");
    EXPECT_EQ(stdoutOf([&] { hexDump("x:", data, 8); }), "x:01 02 03 04 05 06 07 ab\n\n");
    EXPECT_EQ(stdoutOf([&] { hexDump("x:", data, 0); }), "x:\n");
    char null[64];
    std::snprintf(null, sizeof null, "x: %p\n", static_cast<void *>(nullptr));
    EXPECT_EQ(stdoutOf([&] { hexDump("x:", nullptr, 8); }), null);
}

int openDescriptors() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

TEST(LinkMain, UsageWithoutInterfaceOpensNothing) {
    char name[] = "link";
    char *argv[] = {name, nullptr};
    const int before = openDescriptors();
    EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(linkMain(1, argv), 1); }), "Usage: link <interface name>\n");
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
