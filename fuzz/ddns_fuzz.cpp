// What ddns reads from outside, any bytes taken both ways.
//
// As configuration text, as the daemon reads it (400 bytes in a zeroed
// 401-byte buffer), through the splitter to the update requests each record
// would put on the wire, with the shortest and the longest address.  Every
// field lies inside the buffer, is not empty and holds no TAB or line feed.
// Every request is either refused or whole (exactly its pieces, nothing cut,
// so it ends where its protocol says).  A request that fits with the longest
// address fits with the shortest, so the trial before connecting never
// refuses one that could be sent.  A service field read as a URL is either
// refused with a reason, or read whole: its scheme, "://", the authority
// (a host of host-name characters, a port of 1 to 65535 in at most five
// digits) and a path free of blanks, controls, '?' and '#' make up the
// field again; its request carries that path, its system "dyndns" and the
// authority as the Host.
//
// As a reply, as the daemon receives it (at most 399 bytes, NUL-terminated,
// in a buffer of exactly that size so that any read past it is caught): the
// DynDNS return code is a searched row's or -1, and only a refusal (3-10) has
// a row text; the HTTP status is at most three characters of a decimal number
// (-99 to 999); TZO's server text follows the last comma, its result code is
// -1 without a ']'.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ddns/config_parse.hpp"
#include "ddns/dyndns_reply.hpp"
#include "ddns/requests.hpp"
#include "ddns/tzo_reply.hpp"
#include "ddns/url.hpp"

namespace {

using namespace zezarur::ddns;
using std::string;

void check(bool ok) {
    if (!ok) std::abort();
}

// Refused only when the text it must be does not fit the capacity, else
// exactly that text.
long expectWhole(long n, const char *buffer, const string &text, std::size_t capacity) {
    check(n < 0 ? text.size() >= capacity : buffer == text && n == std::ssize(text));
    return n;
}

using Pairs = std::vector<std::pair<string, string>>;

// Whether text, split at between into "name within value" pieces as a server
// splits it, holds exactly the pairs expected, in any order.
bool holds(const string &text, const string &between, const string &within, const Pairs &expected) {
    Pairs read;
    for (std::size_t at = 0, end; at < text.size(); at = end + between.size()) {
        end = std::min(text.find(between, at), text.size());
        const string piece = text.substr(at, end - at);
        const std::size_t mark = std::min(piece.find(within), piece.size());
        read.emplace_back(piece.substr(0, mark), piece.substr(std::min(mark + within.size(), piece.size())));
    }
    return std::is_permutation(read.begin(), read.end(), expected.begin(), expected.end());
}

// The DynDNS request's length or -1, after both TZO lines are checked.  It is
// as long as its parts; one whose values hold no separator is read back as a
// server reads it, the query's fields and the headers by name.
long requests(const DdnsConfig &r, const DynDnsVariant &variant, const char *address, const char *version) {
    char line[bufferSize], request[requestCapacity];
    expectWhole(tzoLookupLine(line, r), line, string("I ") + r.passwd + "\r\n", bufferSize);
    const string update = string("R ") + r.hostname + "," + r.username + "," + r.passwd + ",";
    expectWhole(tzoUpdateLine(line, r, address), line, update + address + "\r\n", bufferSize);
    const string credentials = string(r.username) + ":" + r.passwd;
    int length = static_cast<int>(credentials.size());
    const char *authorization = base64_encode(credentials.c_str(), &length);
    const Pairs query{{"system", variant.system ? variant.system : r.service}, {"hostname", r.hostname}, {"myip", address},
                      {"wildcard", r.wildcard}};
    const Pairs headers{{"Host", variant.hostHeader}, {"Authorization", string("Basic ") + authorization},
                        {"User-Agent", string("Brenlow/ZR4410/") + version}, {"Connection", "close"},
                        {"Pragma", "no-cache"}};
    const string start = string("GET ") + variant.path + "?", lineEnd = " HTTP/1.0\r\n", blankLines = "\n\n";
    std::size_t expected = start.size() + lineEnd.size() + blankLines.size();
    for (const auto &[name, value] : query) expected += name.size() + value.size() + 2;  // "=", "&"
    for (const auto &[name, value] : headers) expected += name.size() + value.size() + 4;  // ": ", CRLF
    const long n = dynDnsRequest(request, variant, r, authorization, address, version);
    check(n < 0 ? expected >= requestCapacity
                : n == static_cast<long>(expected) && std::strlen(request) == expected);
    const string values = string(r.service) + r.hostname + r.wildcard;  // a separator in one: ambiguous
    if (n < 0 || values.find_first_of("&= \r") != string::npos) return n;
    const string text(request);
    const std::size_t queryEnd = text.find(lineEnd), headersAt = queryEnd + lineEnd.size();
    const std::size_t headersEnd = text.size() - blankLines.size();
    check(text.starts_with(start) && text.ends_with("\r\n" + blankLines) && queryEnd < headersEnd &&
          holds(text.substr(start.size(), queryEnd - start.size()), "&", "=", query) &&
          holds(text.substr(headersAt, headersEnd - headersAt), "\r\n", ": ", headers));
    return n;
}

// Any read past the reply's exact buffer is caught.
void readReply(const uint8_t *data, size_t size) {
    auto *reply = static_cast<char *>(std::malloc(size + 1));
    if (size) std::memcpy(reply, data, size);
    reply[size] = '\0';
    const int code = dynDnsStatusFind(reply), status = dynDnsHttpStatus(reply);
    const char *server = tzoServerOf(reply);
    check((code == -1 || (code >= 1 && code <= 11)) &&
          !(code == 1 && std::strstr(reply, "127.0.0.1")) &&
          !dynDnsRefusalText(code) == (code < 3 || code > 10) && status >= -99 && status <= 999 &&
          (server ? server[-1] == ',' && !std::strchr(server, ',') : !std::strchr(reply, ',')) &&
          (tzoResultCode(reply) == -1 || std::strchr(reply, ']')));
    std::free(reply);
}

// Whether field reads as a URL; aborts when what it read is not the field.
bool readUrl(const char *field, DdnsUrl &url) {
    if (const char *why = ddnsUrlRead(field, url)) {
        check(*why);
        return false;
    }
    const string text = field, scheme = url.tls ? "https://" : "http://";
    const string host = url.host, authority = url.authority, path = url.path;
    const string port = authority.substr(std::min(host.size() + 1, authority.size()));
    const bool portWritten = authority.size() > host.size();
    check(ddnsIsUrl(field) && strncasecmp(field, scheme.c_str(), scheme.size()) == 0 && !host.empty() &&
          host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") ==
              string::npos &&
          authority.starts_with(host) && (!portWritten || authority[host.size()] == ':') &&
          port.size() <= 5 && port.find_first_not_of("0123456789") == string::npos &&
          url.port == (portWritten ? std::atol(port.c_str()) : url.tls ? 443 : 80) && url.port > 0 &&
          path.starts_with("/") &&
          std::none_of(path.begin(), path.end(), [](char c) { return c <= ' ' || c == 0x7f || c == '?' || c == '#'; }) &&
          text.substr(scheme.size()) == authority + (text.size() > scheme.size() + authority.size() ? path : ""));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    readReply(data, std::min(size, requestCapacity - 1));
    char text[ddnsConfigMax + 1] = {};
    std::memcpy(text, data, std::min<size_t>(size, ddnsConfigMax));
    char *cursor = text;
    while (char *line = ddnsConfigLine(cursor)) {
        check(*line && cursor <= text + ddnsConfigMax);
        char *f[ddnsConfigFieldCount];
        const int n = ddnsConfigFields(line, f);
        for (int i = 0; i < n; ++i)
            check(f[i] >= line && f[i] + std::strlen(f[i]) < text + sizeof text && *f[i] &&
                  !std::strpbrk(f[i], "\t\n"));
        if (n < ddnsConfigFieldCount) continue;
        const DdnsConfig r{0, f[1], f[2], f[3], f[4], f[5], f[6], nullptr};
        DynDnsVariant variant{.server = "members.example", .hostHeader = "members.example", .path = "/nic/update"};
        DdnsUrl url;
        if (readUrl(r.service, url)) variant = urlVariant(url, variant);
        const long longest = requests(r, variant, "255.255.255.255", "12345678901234");
        check(requests(r, variant, "0.0.0.0", "") >= 0 || longest < 0);
    }
    return 0;
}
