// Byte-order helpers for frames, headers and on-flash records: each field is
// stored and loaded byte by byte, so the result is the same on a big-endian
// router and a little-endian build machine.
#pragma once

#include <cstdint>

namespace zezarur {

constexpr std::uint16_t load16be(const unsigned char *p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
constexpr std::uint32_t load32be(const unsigned char *p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
constexpr std::uint32_t load24be(const unsigned char *p) {
    return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}
constexpr std::uint32_t load32le(const unsigned char *p) {
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

constexpr void store16be(unsigned char *p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}
constexpr void store32be(unsigned char *p, std::uint32_t v) {
    store16be(p, static_cast<std::uint16_t>(v >> 16));
    store16be(p + 2, static_cast<std::uint16_t>(v));
}
constexpr void store24be(unsigned char *p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 16);
    store16be(p + 1, static_cast<std::uint16_t>(v));
}
constexpr void store16le(unsigned char *p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
constexpr void store32le(unsigned char *p, std::uint32_t v) {
    store16le(p, static_cast<std::uint16_t>(v));
    store16le(p + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace zezarur
