// Any configuration text, as the daemon reads it (400 bytes), to the update
// requests each of its records would put on the wire, with the shortest and
// the longest address: every request is either refused or whole (exactly
// its pieces, nothing cut) and ends where its protocol says: a TZO line at
// its one line feed, a DynDNS request's head at its one empty line (for
// credentials under 57 bytes, whose Base64 holds no line feed).  A request
// that fits with the longest address fits with the shortest, so the trial
// before connecting never refuses one that could be sent.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ddns/config_parse.hpp"
#include "ddns/requests.hpp"

namespace {

using namespace zezarur::ddns;

void check(bool ok) {
    if (!ok) std::abort();
}

// A result against the text it must be: refused only when that text does
// not fit the capacity, else exactly it.
void expectWhole(long n, const char *buffer, const std::string &text, std::size_t capacity) {
    check(n < 0 ? text.size() >= capacity : text.size() < capacity && std::string(buffer) == text &&
                                                    static_cast<std::size_t>(n) == text.size());
}

void tzo(const DdnsConfig &r, const char *address) {
    char line[bufferSize];
    const std::string lookup = std::string("I ") + r.passwd + "\r\n";
    expectWhole(tzoLookupLine(line, r), line, lookup, bufferSize);
    const long n = tzoUpdateLine(line, r, address);
    expectWhole(n, line, std::string("R ") + r.hostname + "," + r.username + "," + r.passwd + "," +
                             address + "\r\n", bufferSize);
    if (n >= 0) check(std::strchr(line, '\n') == line + n - 1);
}

long dynDns(const DdnsConfig &r, const char *address, const char *version) {
    DynDnsVariant variant{};
    variant.server = "members.example";
    variant.requestStart = "GET /nic/update?";
    const std::string credentials = std::string(r.username) + ":" + r.passwd;
    int length = static_cast<int>(credentials.size());
    const char *authorization = base64_encode(credentials.c_str(), &length);
    check(authorization);
    const std::string text = std::string("GET /nic/update?system=") + r.service + "&hostname=" +
                             r.hostname + "&myip=" + address + "&wildcard=" + r.wildcard +
                             "& HTTP/1.0\r\nHost: members.example\r\nAuthorization: Basic " +
                             authorization + "\r\nUser-Agent: Brenlow/ZR4410/" + version +
                             "\r\nConnection: close\r\nPragma: no-cache\r\n\n\n";
    char request[requestCapacity];
    const long n = dynDnsRequest(request, variant, r, authorization, address, version);
    expectWhole(n, request, text, requestCapacity);
    if (n >= 0 && credentials.size() < 57) {
        const char *end = std::strstr(request, "\n\n"), *crlf = std::strstr(request, "\n\r\n");
        check(end == request + n - 3 && !crlf);
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char text[401] = {};
    std::memcpy(text, data, size < 400 ? size : 400);
    char *cursor = text;
    while (char *line = ddnsConfigLine(cursor)) {
        char *f[ddnsConfigFieldCount];
        if (ddnsConfigFields(line, f) < ddnsConfigFieldCount) continue;
        const DdnsConfig r{0, f[1], f[2], f[3], f[4], f[5], f[6], nullptr};
        tzo(r, "255.255.255.255");
        tzo(r, "0.0.0.0");
        if (dynDns(r, "255.255.255.255", "12345678901234") >= 0) check(dynDns(r, "0.0.0.0", "") >= 0);
    }
    return 0;
}
