// Failed system calls, reported as the applets' output has them: perror
// with a short tag of the caller's (the tags differ per applet and are part
// of its output).  A null tag reports nothing.
#pragma once

#include <cstdio>

namespace zezarur {

inline void report(const char *tag) {
    if (tag) std::perror(tag);
}

// A system call's result, reported when it failed.
template <typename T>
T reported(T result, const char *tag) {
    if (result < 0) report(tag);
    return result;
}

}  // namespace zezarur
