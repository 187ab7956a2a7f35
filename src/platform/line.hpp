// Line reads that know how many bytes they read: a NUL byte inside a line
// must not be taken for its end, nor hide where the next line starts.
#pragma once

#include <zezarur/adp.h>

#include <cstdio>
#include <cstring>

namespace zezarur {

// Reads a line as adpFileGets does (at most size - 1 bytes, up to and with
// the line feed) and returns how many bytes it read, NUL bytes included; -1
// at the end of input.  The buffer is filled with line feeds first, so the
// terminator is the last NUL in it, whatever the bytes read.
inline long readLine(char *buffer, int size, std::FILE *in) {
    std::memset(buffer, '\n', static_cast<std::size_t>(size));
    if (!adpFileGets(buffer, size, in)) return -1;
    const void *end = memrchr(buffer, '\0', static_cast<std::size_t>(size));
    return static_cast<const char *>(end) - buffer;
}

}  // namespace zezarur
