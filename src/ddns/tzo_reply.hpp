// Reading the two TZO replies: the lookup names the update server after its
// last comma; the update's result code follows its first ']'.
#pragma once

#include <climits>
#include <cstdlib>
#include <cstring>

namespace zezarur::ddns {

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
    long long code = std::strtoll(bracket + 1, &end, 10);
    if (end == bracket + 1 || code > INT_MAX || code < INT_MIN) return -1;
    return static_cast<int>(code);
}

}  // namespace zezarur::ddns
