// A line read that counts its bytes: a line may hold NUL bytes, which
// strlen would take for its end.
#pragma once

#include <zezarur/adp.h>

#include <cstdio>
#include <cstring>

namespace zezarur {

// Reads a line as adpFileGets does (at most size - 1 bytes, up to and with the line feed) and returns how many bytes it read, NUL bytes included; -1 at the end of input.
inline long readLine(char *buffer, int size, std::FILE *in) {
    // The read ends its bytes with a NUL and leaves the rest of the buffer
    // as it was: filled with line feeds, the last NUL is that end.
    std::memset(buffer, '\n', static_cast<std::size_t>(size));
    if (!adpFileGets(buffer, size, in)) return -1;
    const void *end = memrchr(buffer, '\0', static_cast<std::size_t>(size));
    return end ? static_cast<const char *>(end) - buffer : -1;
}

}  // namespace zezarur
