// NOR flash over an image file: a write can only clear bits (the image keeps
// old AND new), MEMERASE sets whole 128 KiB sectors back to 0xFF.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unistd.h>

#include "devices/flash.hpp"
#include "faults.hpp"
#include "sim.hpp"

namespace adp::sim {
namespace {

using zezarur::device::EraseInfoUser;
using zezarur::device::flashSectorSize;
using zezarur::device::memErase;

// ANDs `count` bytes of data into the image at pos, the descriptor's offset,
// which moves past them; -1 on an I/O failure.
int andInto(int fd, const unsigned char *data, long count, off_t pos) {
    unsigned char old[4096];
    for (long done = 0; done < count;) {
        size_t n = static_cast<size_t>(std::min<long>(count - done, sizeof old));
        if (::pread(fd, old, n, pos + done) != static_cast<ssize_t>(n)) return -1;
        for (size_t i = 0; i < n; ++i) old[i] &= data[done + static_cast<long>(i)];
        if (::write(fd, old, n) != static_cast<ssize_t>(n)) return -1;
        done += static_cast<long>(n);
    }
    return 0;
}

int fillErased(int fd, off_t start, long count) {
    unsigned char ones[4096];
    std::memset(ones, 0xFF, sizeof ones);
    for (long done = 0; done < count;) {
        size_t n = static_cast<size_t>(std::min<long>(count - done, sizeof ones));
        if (::pwrite(fd, ones, n, start + done) != static_cast<ssize_t>(n)) return -1;
        done += static_cast<long>(n);
    }
    return 0;
}

int flashWrite(int fd, const void *buffer, int count) {
    off_t pos = ::lseek(fd, 0, SEEK_CUR);
    off_t size = sizeOf(fd);
    if (pos < 0 || size < 0) return -1;
    if (count > 0 && pos >= size) return refuse(ENOSPC);
    long n = std::min<long>(count, static_cast<long>(size - pos));
    FaultVerdict v = takeFlashFault(FlashOp::write, n);
    if (v.fail) return refuse(EIO);
    if (andInto(fd, static_cast<const unsigned char *>(buffer), v.allowed, pos) < 0) return -1;
    if (v.cut) cutPower();
    return static_cast<int>(n);
}

int flashIoctl(int fd, unsigned long request, void *record) {
    if (request != memErase) return refuse(ENOTTY);
    if (!record) return refuse(EFAULT);
    EraseInfoUser e;
    std::memcpy(&e, record, sizeof e);
    off_t size = sizeOf(fd);
    if (size < 0) return -1;
    if (e.length == 0 || e.start % flashSectorSize || e.length % flashSectorSize ||
        static_cast<uint64_t>(e.start) + e.length > static_cast<uint64_t>(size)) return refuse(EINVAL);
    FaultVerdict v = takeFlashFault(FlashOp::erase, static_cast<long>(e.length));
    if (v.fail) return refuse(EIO);
    if (fillErased(fd, static_cast<off_t>(e.start), v.allowed) < 0) return -1;
    if (v.cut) cutPower();
    return 0;
}

}  // namespace

const Driver flashDriver{flashIoctl, flashWrite};

}  // namespace adp::sim
