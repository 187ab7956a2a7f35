// Numbers from arguments and configuration, read as the router's strtol
// (base 10) reads them: leading blanks and a sign, digits up to the first
// other character, and a word beyond the router's 32-bit long saturating at
// its bounds. On a machine whose long is wider the same word would read as
// another value (4294967297 as 1), so every applet reads through here.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace zezarur {

struct Decimal {
    std::int32_t value;  // 0 when there are no digits
    bool whole;          // digits only after the blanks and sign, and within the bounds
};

inline Decimal readDecimal(const char *word) {
    using Long = std::numeric_limits<std::int32_t>;  // the router's long
    char *end = nullptr;
    const long long wide = std::strtoll(word, &end, 10);  // 64 bits on both CPUs
    const long long value = std::clamp<long long>(wide, Long::min(), Long::max());
    return {static_cast<std::int32_t>(value), end != word && *end == '\0' && value == wide};
}

// The value alone, for the callers that, like strtol's, take any word.
inline std::int32_t decimal(const char *word) { return readDecimal(word).value; }

}  // namespace zezarur
