// A DynDNS reply as the daemon receives it (at most 399 bytes, NUL-terminated,
// in a buffer of exactly that size so that any read past it is caught): the
// return code is a searched row's or -1, the HTTP status at most three
// characters of a decimal number (-99 to 999).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ddns/dyndns_reply.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 399) size = 399;
    auto *reply = static_cast<char *>(std::malloc(size + 1));
    if (size) std::memcpy(reply, data, size);
    reply[size] = '\0';

    int code = zezarur::ddns::dynDnsStatusFind(reply);
    if (code != -1 && (code < 1 || code > 11)) std::abort();
    if (code == 1 && std::strstr(reply, "127.0.0.1")) std::abort();
    int status = zezarur::ddns::dynDnsHttpStatus(reply);
    if (status < -99 || status > 999) std::abort();  // "%3d" takes a sign too
    if (const char *text = zezarur::ddns::dynDnsRefusalText(code); text && std::strlen(text) >= 20)
        std::abort();
    std::free(reply);
    return 0;
}
