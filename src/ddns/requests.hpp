// The update requests, composed whole into their fixed buffers or refused:
// a request cut short registers a wrong address, or leaves a server waiting
// for a line end that never comes.  Inline, so that the fuzz target runs
// this very code.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "ddns/ddns.hpp"
#include "platform/text.hpp"

namespace zezarur::ddns {

// DynDNS: the whole request, 399 characters and the NUL.
constexpr std::size_t requestCapacity = 400;
// TZO: one buffer for both lines and both replies.
constexpr std::size_t bufferSize = 400;

// Appends formatted pieces without ever passing the capacity; once a piece
// does not fit, the request is refused as a whole.
class Request {
public:
    explicit Request(char *buffer) : buffer_(buffer) {}
    __attribute__((format(printf, 2, 3))) void add(const char *format, ...) {
        if (!fits_) return;
        va_list args;
        va_start(args, format);
        const long n = formatWholeV(buffer_ + len_, requestCapacity - len_, format, args);
        va_end(args);
        fits_ = n >= 0;
        if (fits_) len_ += static_cast<std::size_t>(n);
    }
    // The request's length, or -1 when a piece did not fit.
    long length() const { return fits_ ? static_cast<long>(len_) : -1; }

private:
    char *buffer_;
    std::size_t len_ = 0;
    bool fits_ = true;
};

// The DynDNS-protocol update for address and firmware version, into buffer
// of requestCapacity bytes: its length, or -1.
inline long dynDnsRequest(char *buffer, const DynDnsVariant &v, const DdnsConfig &r,
                          const char *authorization, const char *address, const char *version) {
    Request request(buffer);
    request.add("GET %s?", v.path);
    request.add("system=%s&", v.system ? v.system : r.service);
    request.add("hostname=%s&", r.hostname);
    request.add("myip=%s&", address);
    request.add("wildcard=%s&", r.wildcard);
    request.add(" HTTP/1.0\r\n");
    request.add("Host: %s\r\n", v.hostHeader);
    request.add("Authorization: Basic %s\r\n", authorization);
    request.add("User-Agent: Brenlow/ZR4410/%s\r\n", version);
    request.add("Connection: close\r\n");
    request.add("Pragma: no-cache\r\n");
    request.add("\n\n");
    return request.length();
}

// TZO's lookup line (the key) and update line (domain, e-mail address, key,
// address), into buffer of bufferSize bytes: the length, or -1.
inline long tzoLookupLine(char *buffer, const DdnsConfig &r) {
    return formatWhole(buffer, bufferSize, "I %s\r\n", r.passwd);
}
inline long tzoUpdateLine(char *buffer, const DdnsConfig &r, const char *address) {
    return formatWhole(buffer, bufferSize, "R %s,%s,%s,%s\r\n", r.hostname, r.username, r.passwd,
                       address);
}

}  // namespace zezarur::ddns
