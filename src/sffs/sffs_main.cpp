// sffs < r | w > <filename>: store a file in flash, restore it, or (with
// fewer arguments) report the block's status.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cerrno>
#include <cstdio>

#include "platform/handle.hpp"

using zezarur::closeHandle;

namespace {

constexpr const char *flashDevice = "/dev/obxcfgC";

}  // namespace

extern "C" int sffsMain(int argc, char **argv) {
    bool status = argc <= 2;
    if (status) std::printf("Usage: %s < r | w > <filename>\n", argv[0]);

    if (flash < 0) flash = adpOpen(flashDevice, zezarur::openReadWrite, zezarur::modeOwnerReadWrite);
    if (flash < 0) {
        std::perror("open");
        return -1;
    }
    if (status) {
        int r = sffsStatus();
        closeHandle(flash);
        return r;
    }

    char mode = argv[1][0];
    int fd = -1;
    if (mode == 'w')
        fd = adpOpen(argv[2], zezarur::openReadOnly, zezarur::modeOwnerReadWrite);
    else if (mode == 'r')
        fd = adpOpen(argv[2], zezarur::openCreateTruncate, zezarur::modeOwnerReadWrite);
    else
        errno = EINVAL;  // neither store nor restore
    if (fd < 0) {
        std::perror("open");
        closeHandle(flash);
        return -1;
    }
    int r = mode == 'w' ? sffsWrite(fd) : sffsRead(fd);
    closeHandle(flash);
    adpClose(fd);
    return r;
}
