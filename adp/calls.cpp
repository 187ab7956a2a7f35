// Descriptor calls: straight to the system call, or to the simulated driver
// that the sandbox put behind the descriptor.
#include <zezarur/adp.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "ioctl_request.hpp"
#include "sim.hpp"

using adp::sim::driverOf;

namespace {

// Callers pass open flags numbered as on the router's ARM Linux, which most
// Linux ports share; a few (MIPS among them) number O_CREAT, O_TRUNC, ...
// otherwise, so each flag is translated to this machine's.
int hostOpenFlags(int flags) {
    struct Flag {
        int router, host;
    };
    constexpr Flag table[] = {{0100, O_CREAT},   {0200, O_EXCL},   {0400, O_NOCTTY},
                              {01000, O_TRUNC},  {02000, O_APPEND}, {04000, O_NONBLOCK}};
    int host = flags & O_ACCMODE;
    for (const Flag &f : table)
        if (flags & f.router) host |= f.host;
    return host;
}

}  // namespace

extern "C" {

int adpOpen(const char *path, int flags, int mode) {
    return adp::sim::open(path, hostOpenFlags(flags), mode);
}

int adpRead(int handle, void *buffer, int count) {
    if (count < 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::read(handle, buffer, static_cast<size_t>(count)));
}

int adpWrite(int handle, const void *buffer, int count) {
    if (count < 0) {
        errno = EINVAL;
        return -1;
    }
    if (const auto *d = driverOf(handle); d && d->write) return d->write(handle, buffer, count);
    return static_cast<int>(::write(handle, buffer, static_cast<size_t>(count)));
}

int adpLseek(int handle, int offset, int whence) {
    return static_cast<int>(::lseek(handle, offset, whence));
}

int adpIoctl(int handle, unsigned long request, void *record) {
    if (const auto *d = driverOf(handle)) return d->ioctl(handle, request, record);
    return ::ioctl(handle, adp::ioctlRequest(request), record);
}

int adpClose(int handle) {
    adp::sim::forget(handle);
    return ::close(handle);
}

// The address ends at the first blank, as glibc's inet_aton has it (a TZO
// lookup reply's server ends with "\r\n"); musl's refuses anything after
// the number, so the blank and what follows are cut off here.
int adp_inet_aton(const char *text, void *address) {
    auto *in = static_cast<struct in_addr *>(address);
    size_t n = std::strcspn(text, " \t\n\v\f\r");
    if (!text[n]) return ::inet_aton(text, in);
    char head[64];
    if (n >= sizeof head) return 0;
    std::memcpy(head, text, n);
    head[n] = '\0';
    return ::inet_aton(head, in);
}

int adp_strncasecmp(const char *a, const char *b, size_t count) {
    return ::strncasecmp(a, b, count);
}

}  // extern "C"
