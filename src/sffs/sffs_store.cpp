// Storing a file in flash and restoring the stored one.
#include <zezarur/zezarur.h>

#include "sffs/sffs_layout.hpp"

using namespace zezarur::sffs;

extern "C" int sffsWrite(int fd) {
    if (fd < 0) return -1;
    int size = fileSize(fd);
    if (size < 1 || size > maxFileSize) return -1;  // an empty file never erases the stored one
    FlashLock lock(flash, LOCK_EX);
    if (!lock.held()) return -1;
    int block = sffsFreeBlockFind();
    if (block == -1) block = 0;
    int r = sffsEraseBlock(static_cast<unsigned>(block), size);
    if (r < 0) return r;
    r = sffsFileWrite(static_cast<unsigned>(block), fd);
    if (r < 0) return r;
    int previous = sffsUsedBlockFind();
    r = sffsBlockUse(static_cast<unsigned>(block));
    (void)sffsBlockFree(static_cast<unsigned>(previous));  // none found (-1): refused, no effect
    return r;
}

extern "C" int sffsRead(int fd) {
    if (fd < 0) return -1;
    FlashLock lock(flash, LOCK_SH);
    if (!lock.held()) return -1;
    int block = sffsUsedBlockFind();
    if (block == -1) return -1;
    int r = sffsFileRead(static_cast<unsigned>(block), fd);
    return r < 0 ? r : 0;
}
