// Owners of what the applets take from the system: descriptors (devices,
// files and sockets alike close through adpClose), streams from
// adpFileOpen and malloc'd memory.  Each releases on every return path.
#pragma once

#include <zezarur/adp.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zezarur {

// Owns one descriptor and closes it on every return path.
template <int (*Close)(int)>
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd &&other) : fd_(other.release()) {}
    Fd &operator=(Fd &&other) {
        reset(other.release());
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) Close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

using AdpFd = Fd<adpClose>;  // devices, files and sockets: all close through adpClose

// A stream from adpFileOpen, closed through adpFileClose.
struct StreamCloser {
    void operator()(std::FILE *f) const { adpFileClose(f); }
};
using AdpFile = std::unique_ptr<std::FILE, StreamCloser>;

// Memory from malloc, released with free.
struct MallocFree {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, MallocFree>;

// size bytes from malloc; null when none could be had.
template <typename T = char>
Malloced<T> allocate(std::size_t size) {
    return Malloced<T>(static_cast<T *>(std::malloc(size)));
}

}  // namespace zezarur
