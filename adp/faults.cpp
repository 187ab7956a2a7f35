#include "faults.hpp"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "sim.hpp"

namespace adp::sim {
namespace {

// Closes and unlocks on every path out.
struct LockedFile {
    int fd;
    explicit LockedFile(const char *p) : fd(::open(p, O_RDWR | O_CLOEXEC)) {
        if (fd >= 0) ::flock(fd, LOCK_EX);
    }
    ~LockedFile() {
        if (fd >= 0) ::close(fd);
    }
    LockedFile(const LockedFile &) = delete;
    LockedFile &operator=(const LockedFile &) = delete;
};

void rewrite(int fd, const char *kind, long n) {
    char text[32];
    int len = std::snprintf(text, sizeof text, "%s %ld\n", kind, n);
    if (::ftruncate(fd, 0) == 0 && len > 0) (void)!::pwrite(fd, text, static_cast<size_t>(len), 0);
}

}  // namespace

FaultVerdict takeFlashFault(FlashOp op, long bytes) {
    char p[PATH_MAX];
    if (!path(p, "flash.fault")) return {false, false, bytes};
    LockedFile f(p);
    if (f.fd < 0) return {false, false, bytes};

    char text[64] = {};
    char kind[16] = {};
    long n = 0;
    if (::pread(f.fd, text, sizeof text - 1, 0) <= 0 || std::sscanf(text, "%15s %ld", kind, &n) != 2)
        return {false, false, bytes};

    const char *opName = op == FlashOp::write ? "write" : "erase";
    if (std::strcmp(kind, "cut") == 0) {
        if (bytes <= n) {
            rewrite(f.fd, kind, n - bytes);
            return {false, false, bytes};
        }
        ::unlink(p);
        return {false, true, n < 0 ? 0 : n};
    }
    if (std::strcmp(kind, opName) != 0) return {false, false, bytes};
    if (n <= 1) {
        ::unlink(p);
        return {true, false, 0};
    }
    rewrite(f.fd, kind, n - 1);
    return {false, false, bytes};
}

void cutPower() {
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);  // not reached
}

}  // namespace adp::sim
