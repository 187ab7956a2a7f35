// sffs < r | w > <filename>: store a file in flash, restore it, or (with
// fewer arguments) report the block's status.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cerrno>
#include <cstdio>

#include "platform/handle.hpp"
#include "platform/owned.hpp"
#include "platform/report.hpp"

using namespace zezarur;

namespace {

constexpr char usage[] = "Usage: %s < r | w > <filename>\n";  // %s: the name run as
constexpr const char *flashDevice = "/dev/obxcfgC";

}  // namespace

extern "C" int sffsMain(int argc, char **argv) {
    bool status = argc <= 2;
    if (status) std::printf(usage, argv[0]);

    if (openOnce(flash, flashDevice, openReadWrite, modeOwnerReadWrite) < 0) {
        report("open");
        return -1;
    }
    HandleCloser closeFlash(flash);
    if (status) return sffsStatus();

    char mode = argv[1][0];
    AdpFd file;
    if (mode == 'w')
        file.reset(adpOpen(argv[2], openReadOnly, modeOwnerReadWrite));
    else if (mode == 'r')
        file.reset(adpOpen(argv[2], openCreateTruncate, modeOwnerReadWrite));
    else
        errno = EINVAL;  // neither store nor restore
    if (!file.valid()) {
        report("open");
        return -1;
    }
    return mode == 'w' ? sffsWrite(file.get()) : sffsRead(file.get());
}
