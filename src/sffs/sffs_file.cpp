// Copying a whole file between a descriptor and a block, 512 bytes a step.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <algorithm>
#include <cstdio>

#include "sffs/sffs_layout.hpp"

namespace zezarur::sffs {

int fileSize(int fd) {
    int size = adpLseek(fd, 0, 2);
    (void)adpLseek(fd, 0, 0);
    return size;
}

}  // namespace zezarur::sffs

using namespace zezarur::sffs;

extern "C" int sffsFileWrite(unsigned int block, int fd) {
    if (block >= blockCount) return -1;
    unsigned char h[headerSize];
    int r = readHeader(block, h);
    if (r < 0) return r;
    if (h[stateByte] == stateInUse) return -1;  // never overwrite the stored file
    int size = fileSize(fd);
    if (size < 1 || size > maxFileSize) return -1;

    uint32_t start = blockStart(block);
    uint32_t offset = start + headerSize;
    std::printf("writing file of size %d at offset %#x\n", size, offset);
    unsigned char buf[chunkSize];
    bool shortWrite = false;
    for (int remaining = size; remaining > 0;) {
        int n = adpRead(fd, buf, std::min(remaining, chunkSize));
        if (n <= 0) return -1;
        // A failed chunk does not stop the copy, but the count is then not written.
        if (sffsDataBytesWrite(buf, n, offset) != n) shortWrite = true;
        offset += static_cast<uint32_t>(n);
        remaining -= n;
    }
    if (shortWrite) return -1;

    // Bytes 0..4 as read: the state stays erased until the block is marked in use.
    setHeaderCount(h, static_cast<int>(offset - start - headerSize));
    r = sffsMetaBytesWrite(h, headerSize, start);
    return r < 0 ? r : 0;
}

extern "C" int sffsFileRead(unsigned int block, int fd) {
    if (block >= blockCount) return -1;
    unsigned char h[headerSize];
    int r = readHeader(block, h);
    if (r < 0) return r;
    if (h[stateByte] == stateFree) return -1;
    int count = headerCount(h);
    if (count < 1 || count > maxFileSize) return -1;  // an erased block holds 0xFFFFFF

    uint32_t offset = blockStart(block) + headerSize;
    std::printf("sffsFileRead: %d bytes at offset %#x\n", count, offset);
    unsigned char buf[chunkSize];
    for (int remaining = count; remaining > 0;) {
        int n = sffsDataBytesRead(buf, std::min(remaining, chunkSize), offset);
        if (n <= 0) return -1;
        remaining -= n;
        offset += static_cast<uint32_t>(n);
        if (adpWrite(fd, buf, n) != n) return -1;
    }
    return 0;
}
