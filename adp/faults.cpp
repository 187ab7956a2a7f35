#include "faults.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "sim.hpp"
#include "sim_file.hpp"

namespace adp::sim {
namespace {

bool rewrite(const LockedFile &f, const char *kind, long n) {
    char text[32];
    int len = std::snprintf(text, sizeof text, "%s %ld\n", kind, n);
    return len > 0 && static_cast<size_t>(len) < sizeof text &&
           f.replace(text, static_cast<size_t>(len));
}

}  // namespace

bool setFlashFault(const char *kind, long n) {
    char p[PATH_MAX];
    if (!path(p, "flash.fault")) return false;
    if (!kind) return ::unlink(p) == 0 || errno == ENOENT;
    const bool counted = !std::strcmp(kind, "write") || !std::strcmp(kind, "erase");
    if (!(counted ? n >= 1 : !std::strcmp(kind, "cut") && n >= 0)) return false;
    LockedFile f("flash.fault", true);
    return f.valid() && rewrite(f, kind, n);
}

FaultVerdict takeFlashFault(FlashOp op, long bytes) {
    char p[PATH_MAX];
    if (!path(p, "flash.fault")) return {false, false, bytes};
    LockedFile f("flash.fault", false);
    if (!f.valid()) return {false, false, bytes};

    char text[64] = {};
    char kind[16] = {};
    long n = 0;
    if (::pread(f.fd(), text, sizeof text - 1, 0) <= 0 || std::sscanf(text, "%15s %ld", kind, &n) != 2)
        return {false, false, bytes};

    const char *opName = op == FlashOp::write ? "write" : "erase";
    if (std::strcmp(kind, "cut") == 0) {
        if (bytes <= n) {
            rewrite(f, kind, n - bytes);
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
    rewrite(f, kind, n - 1);
    return {false, false, bytes};
}

void cutPower() {
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);  // not reached
}

}  // namespace adp::sim
