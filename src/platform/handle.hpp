// Device handles kept in exported globals (-1: not open).
#pragma once

#include <zezarur/adp.h>

namespace zezarur {

// Closes a handle the applet holds and marks it not open, so that a later
// call in the same process opens the device anew instead of reusing a
// descriptor number that may by then belong to something else.
inline void closeHandle(int &handle) {
    if (handle == -1) return;
    adpClose(handle);
    handle = -1;
}

}  // namespace zezarur
