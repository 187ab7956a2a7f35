// Block operations: state marks, the searches and the erase.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "devices/flash.hpp"
#include "platform/handle.hpp"
#include "sffs/sffs_layout.hpp"

using namespace zezarur::sffs;

namespace {

// Only ever clears bits between erases: 0xFF -> 0x11 -> 0x10.
int markBlock(unsigned block, unsigned char state, const char *name) {
    if (block >= blockCount) return -1;
    unsigned char h[headerSize];
    int r = readHeader(block, h);
    if (r < 0) return r;
    h[stateByte] = state;
    r = sffsMetaBytesWrite(h, headerSize, blockStart(block));
    if (r < 0) return r;
    std::printf("%s: %d\n", name, static_cast<int>(block));
    return 0;
}

}  // namespace

extern "C" int sffsBlockUse(unsigned int block) { return markBlock(block, stateInUse, "sffsBlockUse"); }

extern "C" int sffsBlockFree(unsigned int block) { return markBlock(block, stateFree, "sffsBlockFree"); }

// Only block 0 is ever examined: the store keeps one file.
extern "C" int sffsFreeBlockFind(void) {
    unsigned char h[headerSize];
    int found = readHeader(0, h) < 0 || h[stateByte] == stateInUse ? -1 : 0;
    std::printf("sffsFreeBlockFound: %d\n", found);
    return found;
}

extern "C" int sffsUsedBlockFind(void) {
    unsigned char h[headerSize];
    int found = readHeader(0, h) >= 0 && h[stateByte] == stateInUse ? 0 : -1;
    std::printf("sffsUsedBlockFound: %d\n", found);
    return found;
}

extern "C" int sffsEraseBlock(unsigned int block, int size) {
    if (block >= blockCount) return -1;
    uint32_t needed = static_cast<uint32_t>(size) + headerSize;
    using namespace zezarur::device;
    EraseInfoUser e{blockStart(block), (needed + flashSectorSize - 1) / flashSectorSize * flashSectorSize};
    int r = adpIoctl(flash, memErase, &e);
    if (r < 0) return r;
    // The magic alone: state and count stay erased (0xFF) until the file is in.
    unsigned char h[sizeof magic] = {};
    (void)sffsMetaBytesWrite(h, sizeof h, e.start);
    std::printf("sffsErasedBlock: %d\n", static_cast<int>(block));
    return 0;
}
