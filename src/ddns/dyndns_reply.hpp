// Reading a DynDNS member update reply: the HTTP status of its first line and
// the protocol's return code anywhere in it.
#pragma once

#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstring>

namespace zezarur::ddns {

// The rows a reply is searched for, "good" to "dnserr".
constexpr int dynDnsSearchedRows = 11;

// The code of the first row whose text occurs in reply (NUL-terminated);
// "good" only counts when "127.0.0.1" does not occur.  -1 when none does.
inline int dynDnsStatusFind(const char *reply) {
    for (int i = 0; i < dynDnsSearchedRows; ++i) {
        const dynDnsStatusCode &row = dynDnsStatusCodes[i];
        if (i == 0 && std::strstr(reply, "127.0.0.1")) continue;
        if (std::strstr(reply, row.text)) return row.code;
    }
    return -1;
}

// The status of an "HTTP/1.x NNN" line at the start of reply; -1 without one.
inline int dynDnsHttpStatus(const char *reply) {
    int status;
    return std::sscanf(reply, " HTTP/1.%*c %3d", &status) == 1 ? status : -1;
}

// The row text for a refusal code 3-10, else null.
inline const char *dynDnsRefusalText(int code) {
    return code >= 3 && code <= 10 ? dynDnsStatusCodes[code - 1].text : nullptr;
}

}  // namespace zezarur::ddns
