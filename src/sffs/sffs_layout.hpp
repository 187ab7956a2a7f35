// The SFFS block on flash: an 8-byte header (magic, version and state,
// 24-bit big-endian byte count) and then the stored file.
#pragma once

#include <cstdint>

#include "platform/bytes.hpp"

namespace zezarur::sffs {

constexpr unsigned blockShift = 19;  // blocks of 0x80000 bytes
constexpr unsigned blockCount = 2;   // numbers the block operations accept
constexpr uint32_t sectorSize = 0x20000;
constexpr int headerSize = 8;
constexpr int maxFileSize = (1 << blockShift) - headerSize;  // 0x7FFF8
constexpr int chunkSize = 512;

constexpr unsigned char magic[4] = {0x00, 0x2B, 0x6D, 0xE4};
constexpr int stateByte = 4;
constexpr unsigned char stateInUse = 0x11;
constexpr unsigned char stateFree = 0x10;
constexpr unsigned char stateErased = 0xFF;

constexpr uint32_t blockStart(unsigned block) { return block << blockShift; }

// Bytes 5..7 of a header.
inline int headerCount(const unsigned char *h) { return static_cast<int>(load24be(h + 5)); }

inline void setHeaderCount(unsigned char *h, int count) {
    store24be(h + 5, static_cast<uint32_t>(count));
}

// Reads the header of `block` into a zeroed buffer: sffsMetaBytesRead's result.
int readHeader(unsigned block, unsigned char (&h)[headerSize]);

// The size of the file behind fd, found by seeking to its end; the file is
// rewound afterwards.
int fileSize(int fd);

}  // namespace zezarur::sffs
