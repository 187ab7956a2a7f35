// The switch records: their byte images in native order, built here by
// shifting, so the expectations hold on either byte order.
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "bcm/records.hpp"

namespace {

using namespace zezarur::bcm;
using Bytes = std::vector<unsigned char>;

template <typename T>
Bytes native(T value) {
    auto v = static_cast<std::make_unsigned_t<T>>(value);
    Bytes b(sizeof v);
    for (size_t k = 0; k < sizeof v; ++k) {
        size_t shift = std::endian::native == std::endian::big ? sizeof v - 1 - k : k;
        b[k] = static_cast<unsigned char>(v >> (8 * shift));
    }
    return b;
}

// `size` zero bytes with the given pieces placed at their offsets.
Bytes image(size_t size, std::initializer_list<std::pair<size_t, Bytes>> pieces) {
    Bytes b(size, 0);
    for (const auto &[offset, piece] : pieces)
        std::copy(piece.begin(), piece.end(), b.begin() + static_cast<long>(offset));
    return b;
}

template <typename Record>
Bytes bytesOf(const Record &r) {
    Bytes b(sizeof r);
    std::memcpy(b.data(), &r, sizeof r);
    return b;
}

struct RecordCase {
    const char *name;
    std::function<Bytes()> record;
    Bytes expected;
};

void PrintTo(const RecordCase &c, std::ostream *os) { *os << c.name; }

class RecordImage : public testing::TestWithParam<RecordCase> {};

TEST_P(RecordImage, FieldsSitAtTheirOffsetsInNativeOrder) {
    EXPECT_EQ(GetParam().record(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switch, RecordImage,
    testing::Values(
        RecordCase{"PortMap",
                   [] {
                       PortMap m{};
                       m.ports = 9;
                       m.matrix[9 * 1 + 5] = 1;
                       m.matrix[80] = 7;
                       return bytesOf(m);
                   },
                   image(85, {{0, native<int32_t>(9)}, {4 + 14, {1}}, {84, {7}}})},
        RecordCase{"Dot1qState",
                   [] {
                       Dot1qState s{{1, 2, 3, 4, 5, 0x86}, {}};
                       for (int p = 0; p < 8; ++p) s.vlanId[p] = static_cast<int16_t>(0x0100 + p);
                       s.vlanId[8] = -2;
                       return bytesOf(s);
                   },
                   image(24, {{0, {1, 2, 3, 4, 5, 0x86}},
                              {6, native<int16_t>(0x0100)},
                              {8, native<int16_t>(0x0101)},
                              {10, native<int16_t>(0x0102)},
                              {12, native<int16_t>(0x0103)},
                              {14, native<int16_t>(0x0104)},
                              {16, native<int16_t>(0x0105)},
                              {18, native<int16_t>(0x0106)},
                              {20, native<int16_t>(0x0107)},
                              {22, native<int16_t>(-2)}})},
        RecordCase{"RegRequest", [] { return bytesOf(RegRequest{3, 0x0102, 4}); },
                   image(4, {{0, {3}}, {1, native<uint16_t>(0x0102)}, {3, {4}}})},
        RecordCase{"MibCounters",
                   [] {
                       MibCounters m{};
                       m.port = 11;
                       m.txOctets = 0x0102030405060708;
                       m.txDropPkts = 0x11121314;
                       m.txPausePkts = 0x15161718;
                       m.rxOctets = 0x2122232425262728;
                       m.rxUndersizePkts = 0x31323334;
                       m.rxSymbolError = 0x35363738;
                       m.pkts64Octets = 0x41424344;
                       m.pkts1024to1522Octets = 0x45464748;
                       m.rxGoodOctets = 0x5152535455565758;
                       return bytesOf(m);
                   },
                   image(154, {{0, native<uint16_t>(11)},
                               {2, native<uint64_t>(0x0102030405060708)},
                               {10, native<uint32_t>(0x11121314)},
                               {54, native<uint32_t>(0x15161718)},
                               {58, native<uint64_t>(0x2122232425262728)},
                               {66, native<uint32_t>(0x31323334)},
                               {118, native<uint32_t>(0x35363738)},
                               {122, native<uint32_t>(0x41424344)},
                               {142, native<uint32_t>(0x45464748)},
                               {146, native<uint64_t>(0x5152535455565758)}})},
        RecordCase{"PortConfig", [] { return bytesOf(PortConfig{txDisable, 11}); },
                   image(8, {{0, native<int32_t>(2)}, {4, native<int32_t>(11)}})},
        RecordCase{"ArlRequest", [] { return bytesOf(ArlRequest{0x12345678, -1}); },
                   image(sizeof(void *) + 4, {{0, native<uintptr_t>(0x12345678)},
                                              {sizeof(void *), native<int32_t>(-1)}})},
        RecordCase{"PortVlanConfig", [] { return bytesOf(PortVlanConfig{1, -5, 1}); },
                   image(8, {{0, native<int16_t>(1)}, {2, native<int16_t>(-5)},
                             {4, native<int32_t>(1)}})}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(RegRequest, OnTheRouterIsPageAddressBytesInOrder) {
    Bytes b = bytesOf(RegRequest{3, 0x0102, 4});
    if constexpr (std::endian::native == std::endian::big)
        EXPECT_EQ(b, (Bytes{0x03, 0x01, 0x02, 0x04}));
    else
        EXPECT_EQ(b, (Bytes{0x03, 0x02, 0x01, 0x04}));
}

}  // namespace
