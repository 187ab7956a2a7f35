// Formatting into fixed buffers: a text that does not fit is refused whole,
// never cut, since a cut line on the wire says something else.  Inline, so
// that the fuzz targets run this very code.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

namespace zezarur {

// Formats into buffer, whose capacity counts the NUL: the text's length, or
// -1 when it does not fit whole (the buffer then holds no usable text).
__attribute__((format(printf, 3, 0))) inline long formatWholeV(char *buffer, std::size_t capacity,
                                                               const char *format, std::va_list args) {
    const int n = std::vsnprintf(buffer, capacity, format, args);
    return n < 0 || static_cast<std::size_t>(n) >= capacity ? -1 : n;
}

__attribute__((format(printf, 3, 4))) inline long formatWhole(char *buffer, std::size_t capacity,
                                                              const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    const long n = formatWholeV(buffer, capacity, format, args);
    va_end(args);
    return n;
}

}  // namespace zezarur
