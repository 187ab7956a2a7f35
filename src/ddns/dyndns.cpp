// The DynDNS member update protocol (DynDNS and 3322): one HTTP/1.0 GET with
// Basic authorization; the status line and the return code of the first
// piece of the reply decide.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <arpa/inet.h>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <syslog.h>

#include "ddns/channel.hpp"
#include "ddns/ddns.hpp"
#include "ddns/dyndns_reply.hpp"
#include "ddns/requests.hpp"
#include "platform/owned.hpp"
#include "platform/report.hpp"
#include "platform/sock.hpp"

const dynDnsStatusCode dynDnsStatusCodes[14] = {
    {1, "good"},    {2, "nochg"},  {3, "badauth"},  {4, "!donator"},
    {5, "notfqdn"}, {6, "nohost"}, {7, "numhost"},  {8, "abuse"},
    {9, "badagent"}, {10, "connect timed out"},     {11, "dnserr"},
    {12, "911"},    {13, "good 127.0.0.1"},
    {11, "end"},  // closes the table
};
static_assert(sizeof(dynDnsStatusCode) == 24 && offsetof(dynDnsStatusCode, text) == 4);
static_assert(sizeof dynDnsStatusCodes == 14 * 24);

namespace zezarur::ddns {

const DynDnsVariant dynDnsOrg = {
    "members.dyndns.org", "members.dyndns.org", 80, false, "/nic/update", nullptr,
    "DYN_DNS: username:passwd %s\n", "sending dyndns update request\n", "dyndns updated\n",
    "dyndns not updated\n", "dyndns server's response: badagent\n",
    "dyndns unable to resolve                  %s check your dns configuration\n",
    "dyndns unable to establish                  connection with %s \n",
    "dyndns update request too long\n"};
const DynDnsVariant dynDns3322 = {
    "members.3322.org", "members.3322.org", 80, false, "/dyndns/update", "dyndns",
    "DYN_DNS 3322: username:passwd %s\n", "sending dyndns 3322 update request\n",
    "dyndns 3322 updated\n", "dyndns 3322 not updated\n",
    "dyndns 3322 server's response: badagent\n",
    "dyndns 3322 unable to resolve                  %s check your dns configuration\n",
    "dyndns 3322 unable to establish                  connection with %s \n",
    "dyndns 3322 update request too long\n"};

namespace {

constexpr const char *versionPath = "/var/firmVersion";
constexpr std::size_t versionMax = 14;

int answer(FILE *status, const DynDnsVariant &v, int http, int code) {
    switch (http) {
    case 200:
        if (code == 1 || code == 2) {
            ddnsReport(status, v.updated, v.updated);
            return 0;
        }
        if (const char *text = dynDnsRefusalText(code))
            ddnsReport(status, text, v.notUpdated);
        else
            ddnsReport(status, v.notUpdated, v.notUpdated);
        return 0;
    case -1:
        ddnsReport(status, "connecting to wrong server\n", "connecting to wrong server");
        return -1;
    case 400:
        ddnsTell(status, "Bad request\n");
        return -1;
    case 401:
        ddnsTell(status, "authentication failure\n");
        return -1;
    default:
        ddnsTell(status, "server returned unknown code: %d\n", http);
        return -1;
    }
}

}  // namespace

DynDnsOutcome dynDnsUpdate(DdnsConfig *record, const DynDnsVariant *variant) {
    const DynDnsVariant &v = *variant;
    FILE *status = record->statusFile;
    constexpr DynDnsOutcome failed{-1, 0, 0};

    std::size_t userLen = std::strlen(record->username), passLen = std::strlen(record->passwd);
    Malloced<char> credentials = allocate(userLen + passLen + 2);
    if (!credentials) return failed;
    std::snprintf(credentials.get(), userLen + passLen + 2, "%s:%s", record->username,
                  record->passwd);
    syslog(LOG_INFO, v.credentialsLog, credentials.get());
    int credLen = static_cast<int>(userLen + passLen + 1);
    const char *authorization = base64_encode(credentials.get(), &credLen);
    if (!authorization) return failed;

    // With the shortest address and no version, a request that still does
    // not fit never will: refused before any connection is made.
    char trial[requestCapacity];
    if (dynDnsRequest(trial, v, *record, authorization, "0.0.0.0", "") < 0) {
        ddnsReport(status, v.tooLong, v.tooLong, LOG_ERR);
        return failed;
    }

    AdpFd sock(tcpSocket("socket :"));
    if (!sock.valid()) return failed;
    in_addr server;
    if (!resolveFirst(v.server, &server)) {
        ddnsTell(status, v.cannotResolve, v.server);
        return failed;
    }
    // A server that hits the time limit is taken for one that could not be
    // reached.
    const Deadline exchange(ddnsExchangeLimit);
    auto unreached = [&] {
        ddnsTell(status, v.cannotConnect, v.server);
        ddnsLate(status, exchange, v.server);
        return failed;
    };
    if (connectTo(sock.get(), server, v.port, exchange, "connect :") < 0) return unreached();
    Channel channel(sock.get());
    if (!channel.open(status, v, exchange)) return failed;
    Malloced<char> buffer = allocate(requestCapacity + 1);
    if (!buffer) {
        report("pBuffer :");
        return failed;
    }
    AdpFile versionFile(adpFileOpen(versionPath, "r"));
    if (!versionFile) {
        syslog(LOG_ERR, "Failed to Open: %s \n", versionPath);
        return failed;
    }
    char version[versionMax + 1] = {};
    adpFileRead(version, 1, versionMax, versionFile.get());
    ifDevInfo info{};
    if (ifDevGet(&info, 0, record->ifNum) == -1) return failed;

    std::memset(buffer.get(), 0, requestCapacity + 1);
    syslog(LOG_INFO, "%s", v.sendingLog);
    in_addr address{info.addr};
    const long length =
        dynDnsRequest(buffer.get(), v, *record, authorization, inet_ntoa(address), version);
    if (length < 0) {
        ddnsReport(status, v.tooLong, v.tooLong, LOG_ERR);
        return failed;
    }

    long sent = channel.send(buffer.get(), static_cast<std::size_t>(length), exchange, "send: ");
    syslog(LOG_INFO, "Sending update request %s", buffer.get());
    if (sent < 0) return exchange.passed() ? unreached() : failed;
    std::memset(buffer.get(), 0, requestCapacity);
    long got = channel.receive(buffer.get(), requestCapacity - 1, exchange, "recv: ");
    syslog(LOG_INFO, "Recieved %s\n", buffer.get());
    if (got < 0) return exchange.passed() ? unreached() : failed;
    const int http = dynDnsHttpStatus(buffer.get()), code = dynDnsStatusFind(buffer.get());
    if (std::strcmp(buffer.get(), "badagent") == 0) {
        syslog(LOG_INFO, "%s", v.badAgent);
        return {-1, http, code};
    }
    return {answer(status, v, http, code), http, code};
}

}  // namespace zezarur::ddns
