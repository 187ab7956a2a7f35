// Reading a service field that is a URL, "https://HOST[:PORT]/PATH" or
// "http://...": the provider a DynDNS-protocol update goes to.  Inline, so
// that the fuzz target runs this very code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <strings.h>

#include "ddns/ddns.hpp"

namespace zezarur::ddns {

// A DNS name has at most 253 characters; with ":65535" and the NUL.
constexpr std::size_t urlHostSize = 254;
constexpr std::size_t urlAuthoritySize = urlHostSize + 6;

struct DdnsUrl {
    bool tls;
    std::uint16_t port;
    char host[urlHostSize];            // resolved, and over TLS the name checked
    char authority[urlAuthoritySize];  // HOST[:PORT] as written: the Host header
    const char *path;                  // inside the field: "/..." up to its end
};

// Whether a service field is meant as a URL rather than a keyword.
inline bool ddnsIsUrl(const char *service) { return std::strstr(service, "://") != nullptr; }

// Reads text into url: null, or why it cannot be used.  The path goes into
// the request line as it stands, so a blank, a control character or a query
// of its own would make another request: refused.
inline const char *ddnsUrlRead(const char *text, DdnsUrl &url) {
    url = {};
    const char *rest;
    if (strncasecmp(text, "https://", 8) == 0) {
        url = {true, 443, {}, {}, nullptr};
        rest = text + 8;
    } else if (strncasecmp(text, "http://", 7) == 0) {
        url = {false, 80, {}, {}, nullptr};
        rest = text + 7;
    } else {
        return "unknown scheme";
    }
    const std::size_t authority = std::strcspn(rest, "/");
    const std::size_t host = std::strcspn(rest, ":/");
    if (host == 0) return "no host";
    if (host >= urlHostSize) return "host name too long";
    for (std::size_t i = 0; i < host; ++i)
        if (!std::strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-", rest[i]))
            return "not a host name";
    if (host < authority) {  // ":PORT", 1 to 65535 in at most five digits
        if (authority - host - 1 == 0 || authority - host - 1 > 5) return "port out of range";
        long port = 0;
        for (std::size_t i = host + 1; i < authority; ++i) {
            if (rest[i] < '0' || rest[i] > '9') return "port out of range";
            port = port * 10 + (rest[i] - '0');
        }
        if (port < 1 || port > 65535) return "port out of range";
        url.port = static_cast<std::uint16_t>(port);
    }
    std::memcpy(url.host, rest, host);
    std::memcpy(url.authority, rest, authority);
    url.path = rest[authority] ? rest + authority : "/";
    for (const char *c = url.path; *c; ++c)
        if (*c <= ' ' || *c == 0x7f || *c == '?' || *c == '#') return "path not usable";
    return nullptr;
}

// The DynDNS-protocol variant that sends the "dyndns" keyword's update to
// url, in the words of texts.
inline DynDnsVariant urlVariant(const DdnsUrl &url, const DynDnsVariant &texts) {
    DynDnsVariant v = texts;
    v.server = url.host;
    v.hostHeader = url.authority;
    v.port = url.port;
    v.tls = url.tls;
    v.path = url.path;
    v.system = "dyndns";
    return v;
}

}  // namespace zezarur::ddns
