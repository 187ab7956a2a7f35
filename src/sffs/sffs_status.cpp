// The status report of block 0.
#include <zezarur/zezarur.h>

#include <cstdio>

#include "sffs/sffs_layout.hpp"

using namespace zezarur::sffs;

const char *sffsBlockState[4] = {"In Use", "Free", "Erased??", "Not SFFS"};

namespace {

int stateIndex(unsigned char state) {
    switch (state) {
    case stateInUse: return 0;
    case stateFree: return 1;
    case stateErased: return 2;
    default: return 3;
    }
}

}  // namespace

extern "C" int sffsStatus(void) {
    std::printf("sffsStatus: %d Blocks\n", 1);
    unsigned char h[headerSize];
    (void)readHeader(0, h);  // a header without the magic is reported as read
    unsigned char state = h[stateByte];
    std::printf("    Block(%d)> magic:%02x%02x%02x%02x, version:%d, state:%s, databytes:%d\n", 0,
                h[0], h[1], h[2], h[3], state >> 4, sffsBlockState[stateIndex(state)],
                headerCount(h));
    std::printf("sffsStatus: %d Free %d Used\n", state == stateFree ? 1 : 0,
                state == stateInUse ? 1 : 0);
    return 0;
}
