// Byte access to the flash device: headers (with their magic) and data.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstring>

#include "sffs/sffs_layout.hpp"

int flash = -1;

namespace zezarur::sffs {

int readHeader(unsigned block, unsigned char (&h)[headerSize]) {
    std::memset(h, 0, sizeof h);
    return sffsMetaBytesRead(h, headerSize, blockStart(block));
}

}  // namespace zezarur::sffs

using namespace zezarur::sffs;

extern "C" int sffsMetaBytesRead(unsigned char *buf, int len, unsigned int offset) {
    int n = sffsDataBytesRead(buf, len, offset);
    if (n < 0) return n;
    return std::memcmp(buf, magic, sizeof magic) == 0 ? n : -1;
}

extern "C" int sffsMetaBytesWrite(unsigned char *buf, int len, unsigned int offset) {
    int r = adpLseek(flash, static_cast<int>(offset), 0);
    if (r < 0) return r;
    std::memcpy(buf, magic, sizeof magic);
    return adpWrite(flash, buf, len);
}

extern "C" int sffsDataBytesRead(unsigned char *buf, int len, unsigned int offset) {
    int r = adpLseek(flash, static_cast<int>(offset), 0);
    if (r < 0) return r;
    return adpRead(flash, buf, len);
}

extern "C" int sffsDataBytesWrite(const unsigned char *buf, int len, unsigned int offset) {
    int r = adpLseek(flash, static_cast<int>(offset), 0);
    if (r < 0) return r;
    return adpWrite(flash, buf, len);
}
