// kdumpd: waits for the kernel's configuration-save signal, then compresses
// the configuration and stores it in flash.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <unistd.h>

#include "devices/signals.hpp"
#include "platform/handle.hpp"

using zezarur::closeHandle;

int dh = -1;

namespace {

constexpr const char *kdumpDevice = "/dev/kdump";
constexpr const char *storeCommand = "sffs w /var/orbrix.cfg";

}  // namespace

extern "C" int kdumpdMain(int, char **) {
    if (zezarur::openOnce(dh, kdumpDevice, zezarur::openReadOnly) < 0) {
        std::puts("error opening device");
        return -1;
    }
    if (daemon(1, 1) < 0) {
        closeHandle(dh);
        return -1;
    }
    int arg = 0;
    int r = adpIoctl(dh, zezarur::device::kdumpSaveRequest, &arg);
    if (r != 0) {
        std::printf("kdumpd: save request on %s failed: %d\n", kdumpDevice, r);
        return -1;  // the device stays open
    }
    int result = zConfigWrite() == -1 || adpCmdExec(storeCommand, nullptr, 0) == -1 ? -1 : 0;
    closeHandle(dh);
    return result;
}
