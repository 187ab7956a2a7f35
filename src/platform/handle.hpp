// Device handles: the router's open flags, request codes, and the handles
// kept in exported globals (-1: not open).
#pragma once

#include <zezarur/adp.h>

namespace zezarur {

// The firmware's open flags (Linux values).
constexpr int openReadOnly = 0;
constexpr int openReadWrite = 2;
constexpr int openCreateTruncate = 0x242;  // read-write, create, truncate
constexpr int modeOwnerReadWrite = 0600;

// A device request code in the Linux _IOC layout.
enum : unsigned { iocNone = 0, iocWrite = 1, iocRead = 2 };
constexpr unsigned long ioc(unsigned dir, unsigned type, unsigned nr, unsigned size) {
    return static_cast<unsigned long>(dir) << 30 | static_cast<unsigned long>(size) << 16 |
           type << 8 | nr;
}

// Opens a device into its global unless it is open already; the global's value.
inline int openOnce(int &handle, const char *path, int flags, int mode = 0) {
    if (handle < 0) handle = adpOpen(path, flags, mode);
    return handle;
}

// Closes a handle the applet holds and marks it not open, so that a later
// call in the same process opens the device anew instead of reusing a
// descriptor number that may by then belong to something else.
inline void closeHandle(int &handle) {
    if (handle == -1) return;
    adpClose(handle);
    handle = -1;
}

// Closes a global handle when the applet's run leaves its scope.
class HandleCloser {
public:
    explicit HandleCloser(int &handle) : handle_(handle) {}
    HandleCloser(const HandleCloser &) = delete;
    HandleCloser &operator=(const HandleCloser &) = delete;
    ~HandleCloser() { closeHandle(handle_); }

private:
    int &handle_;
};

}  // namespace zezarur
