// The request argument of ioctl(2) as this C library declares it: unsigned
// long in glibc, int in musl and POSIX. The kernel reads 32 bits either way.
#pragma once

#include <sys/ioctl.h>

namespace adp {

template <typename Request>
Request requestOf(int (*)(int, Request, ...));

inline auto ioctlRequest(unsigned long code) {
    return static_cast<decltype(requestOf(&::ioctl))>(code);
}

}  // namespace adp
