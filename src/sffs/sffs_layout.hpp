// The SFFS block on flash: an 8-byte header (magic, version and state,
// 24-bit big-endian byte count) and then the stored file.
#pragma once

#include <sys/file.h>

#include <cstdint>
#include <cstdio>

#include "platform/bytes.hpp"
#include "platform/report.hpp"

namespace zezarur::sffs {

constexpr unsigned blockShift = 19;  // blocks of 0x80000 bytes
constexpr unsigned blockCount = 2;   // numbers the block operations accept
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

// Held for a whole store or restore: a writer has the flash alone, so that
// two stores never interleave their erases and writes (the second waits);
// readers share it.  The lock goes with the process, a killed one included.
class FlashLock {
public:
    FlashLock(int fd, int operation) : fd_(fd), held_(::flock(fd, operation) == 0) {
        if (!held_) report("flock");
    }
    ~FlashLock() {
        if (held_) ::flock(fd_, LOCK_UN);
    }
    FlashLock(const FlashLock &) = delete;
    FlashLock &operator=(const FlashLock &) = delete;
    bool held() const { return held_; }

private:
    int fd_;
    bool held_;
};

// The size of the file behind fd, found by seeking to its end; the file is
// rewound afterwards.
int fileSize(int fd);

}  // namespace zezarur::sffs
