// Reading the two TZO replies: the lookup names the update server after its
// last comma; the update's result code follows its first ']'.
#pragma once

#include <cstdlib>
#include <cstring>

namespace zezarur {

// The update server's address text in a lookup reply (NUL-terminated), or
// null when the reply holds no comma.
inline const char *tzoServerOf(const char *reply) {
    const char *comma = std::strrchr(reply, ',');
    return comma ? comma + 1 : nullptr;
}

// The decimal code after the first ']' (blanks before it allowed); -1 when
// there is no ']' or no number.
inline int tzoResultCode(const char *reply) {
    const char *bracket = std::strchr(reply, ']');
    if (!bracket) return -1;
    char *end;
    long code = std::strtol(bracket + 1, &end, 10);
    if (end == bracket + 1) return -1;
    return code > 0x7FFFFFFF || code < -0x7FFFFFFF ? -1 : static_cast<int>(code);
}

}  // namespace zezarur
