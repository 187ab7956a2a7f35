#include "sim.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "device_backing.hpp"

namespace adp::sim {
namespace {

struct Node {
    const char *name;  // under /dev
    bool fifo;         // opened read-write, so that opening never blocks
    const Driver *driver;
};
constexpr Node nodes[] = {
#define DEVICE(name, backing, driver) {#name, backing == FIFO, &driver},
#include "devices.def"
#undef DEVICE
};

// A descriptor's driver, with the file's identity so that a descriptor number
// reused by an open that did not go through adp is never mistaken for it.
struct Slot {
    const Driver *driver = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;  // a device's size does not change while it is open
};
std::array<Slot, 1024> slots;

const Node *nodeForPath(const char *p) {
    constexpr std::string_view prefix = "/dev/";
    std::string_view s(p);
    if (!dir() || !s.starts_with(prefix)) return nullptr;
    for (const Node &n : nodes)
        if (s.substr(prefix.size()) == n.name) return &n;
    return nullptr;
}

}  // namespace

const char *dir() {
    const char *d = std::getenv("ZEZARUR_SIM");
    return d && *d ? d : nullptr;
}

bool path(char (&out)[PATH_MAX], const char *name) {
    const char *d = dir();
    if (!d) return false;
    int n = std::snprintf(out, sizeof out, "%s/%s", d, name);
    return n > 0 && static_cast<size_t>(n) < sizeof out;
}

int open(const char *p, int flags, int mode) {
    const Node *n = nodeForPath(p);
    if (!n) return ::open(p, flags, mode);

    char node[PATH_MAX];
    if (!path(node, p + 1)) {  // "<sandbox>/dev/<name>"
        errno = ENAMETOOLONG;
        return -1;
    }
    struct stat st;
    if (::stat(node, &st) == 0 && S_ISCHR(st.st_mode)) return ::open(node, flags, mode);

    int fd = ::open(node, n->fifo ? O_RDWR : flags, mode);
    if (fd < 0) return fd;
    if (static_cast<size_t>(fd) >= slots.size() || ::fstat(fd, &st) != 0) {
        ::close(fd);
        errno = EMFILE;
        return -1;
    }
    slots[static_cast<size_t>(fd)] = {n->driver, st.st_dev, st.st_ino, st.st_size};
    return fd;
}

const Driver *driverOf(int fd) {
    if (fd < 0 || static_cast<size_t>(fd) >= slots.size()) return nullptr;
    const Slot &s = slots[static_cast<size_t>(fd)];
    struct stat st;
    if (!s.driver || ::fstat(fd, &st) != 0 || st.st_dev != s.dev || st.st_ino != s.ino)
        return nullptr;
    return s.driver;
}

off_t sizeOf(int fd) {
    // Asked only by the driver that driverOf() has just found for fd.
    if (fd < 0 || static_cast<size_t>(fd) >= slots.size()) return -1;
    return slots[static_cast<size_t>(fd)].size;
}

void forget(int fd) {
    if (fd >= 0 && static_cast<size_t>(fd) < slots.size()) slots[static_cast<size_t>(fd)] = {};
}

}  // namespace adp::sim
