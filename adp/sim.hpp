// The sandbox side of adp: which simulated driver, if any, sits behind a
// descriptor.  With ZEZARUR_SIM unset everything passes straight through.
#pragma once

#include <cerrno>
#include <climits>
#include <cstddef>
#include <sys/types.h>

namespace adp::sim {

struct Driver {
    int (*ioctl)(int fd, unsigned long request, void *record);
    int (*write)(int fd, const void *buffer, int count);  // null: plain write
};

// The sandbox directory, or null when adp is a plain pass-through.
const char *dir();

// Writes "<sandbox>/<name>" into out; false when there is no sandbox or the
// path does not fit.
bool path(char (&out)[PATH_MAX], const char *name);

// Opens `path`; a device node of the sandbox gets its simulated driver.
int open(const char *path, int flags, int mode);

// The simulated driver behind fd, or null for a real file, device or socket.
const Driver *driverOf(int fd);

// The size of the backing file of a simulated device, taken when it was
// opened; for the driver behind fd.
off_t sizeOf(int fd);

void forget(int fd);

// A driver's refusal, as the system call reports it: errno set, -1 returned.
inline int refuse(int error) {
    errno = error;
    return -1;
}

// The drivers, one per file, named in devices.def.
#define DEVICE(node, backing, driver) extern const Driver driver;
#include "devices.def"
#undef DEVICE

}  // namespace adp::sim
