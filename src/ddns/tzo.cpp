// TZO: a line to the cluster lookup host names the update server, a second
// line to that server carries domain, e-mail address, key and address.  Both
// servers close after their reply.
#include <zezarur/adp.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <syslog.h>

#include "ddns/ddns.hpp"
#include "ddns/requests.hpp"
#include "ddns/tzo_reply.hpp"
#include "platform/owned.hpp"
#include "platform/report.hpp"
#include "platform/sock.hpp"

namespace zezarur::ddns {

namespace {

constexpr const char *lookupHost = "tzo-lookup.example";
constexpr std::uint16_t lookupPort = 21340, updatePort = 21346;

struct Code {
    int code;
    const char *status, *log;
};
constexpr Code codes[] = {
    {40, "tzo updated\n", "tzo updated"},
    {41, "Invalid Name\n", "Invalid Name - host and domain name\n"},
    {42, "Invalid Email Address Format\n", "Invalid Email Address Format\n"},
    {46, "Invalid Name - host and domain name\n", "Invalid Name - host and domain name\n"},
    {48, "tzo key expired\n", "tzo key expired"},
};

// Zeroes the buffer and receives the whole reply into it: up to 399 bytes,
// or what came before the server closed.
long receiveAll(int fd, char *buffer, const Deadline &exchange, const char *tag) {
    std::memset(buffer, 0, bufferSize);
    return recvAll(fd, buffer, bufferSize - 1, exchange, tag);
}

constexpr const char *tooLong = "tzo update request too long\n";

}  // namespace

int tzoUpdate(DdnsConfig *record) {
    FILE *status = record->statusFile;
    // Both lines go out whole or not at all; the update line is tried with
    // the shortest address first, so that a configuration that can never
    // fit opens no connection.
    char trial[bufferSize];
    if (tzoLookupLine(trial, *record) < 0 || tzoUpdateLine(trial, *record, "0.0.0.0") < 0) {
        ddnsReport(status, tooLong, tooLong, LOG_ERR);
        return -1;
    }
    AdpFd sock(tcpSocket("socket :"));
    if (!sock.valid()) return -1;
    in_addr lookup;
    if (!resolveFirst(lookupHost, &lookup)) {
        ddnsReport(status, "DNS error occured,                  check your network configuration\n",
                   "DNS error occured, check your network configuration");
        return -1;
    }
    // A server that hits the time limit is taken for one that could not be
    // reached.
    const Deadline lookupExchange(ddnsExchangeLimit);
    auto unreached = [&] {
        ddnsReport(status, "tzo:unable to establish connection\n", "tzo:unable to establish connection");
        ddnsLate(status, lookupExchange, lookupHost);
        return -1;
    };
    if (connectTo(sock.get(), lookup, lookupPort, lookupExchange, "connect :") < 0) return unreached();
    Malloced<char> buffer = allocate(bufferSize);
    if (!buffer) {
        report("pBuffer :");
        return -1;
    }

    syslog(LOG_INFO, "sending tzo update request");
    long n = tzoLookupLine(buffer.get(), *record);
    if (sendAll(sock.get(), buffer.get(), static_cast<std::size_t>(n), lookupExchange, "send: ") < 0) {
        syslog(LOG_INFO, "TZO: Send Failed");
        return lookupExchange.passed() ? unreached() : -1;
    }
    // A failed receive leaves no comma, unless it was cut by the limit.
    if (receiveAll(sock.get(), buffer.get(), lookupExchange, nullptr) < 0 && lookupExchange.passed())
        return unreached();
    const char *server = tzoServerOf(buffer.get());
    if (!server) {
        ddnsReport(status,
                   "invalid tzo configuration:                      check your domain, username or password\n",
                   "invalid tzo configuration:                    check your domain, username or password");
        return -1;
    }
    sock.reset();
    sock.reset(tcpSocket("socket :"));
    if (!sock.valid()) return -1;
    in_addr updater;
    if (!adp_inet_aton(server, &updater)) {
        errno = EINVAL;
        report("connect :");
        return -1;
    }
    char updaterName[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &updater, updaterName, sizeof updaterName);
    const Deadline updateExchange(ddnsExchangeLimit);
    if (connectTo(sock.get(), updater, updatePort, updateExchange, "connect :") < 0) {
        ddnsLate(status, updateExchange, updaterName);
        return -1;
    }

    ifDevInfo info{};
    if (ifDevGet(&info, 0, record->ifNum) == -1) return -1;
    in_addr address{info.addr};
    n = tzoUpdateLine(buffer.get(), *record, inet_ntoa(address));
    if (n < 0) {
        ddnsReport(status, tooLong, tooLong, LOG_ERR);
        return -1;
    }
    if (sendAll(sock.get(), buffer.get(), static_cast<std::size_t>(n), updateExchange, "send: ") < 0 ||
        receiveAll(sock.get(), buffer.get(), updateExchange, "recv: ") < 0) {
        ddnsLate(status, updateExchange, updaterName);
        return -1;
    }

    int code = tzoResultCode(buffer.get());
    for (const Code &c : codes)
        if (c.code == code) {
            ddnsReport(status, c.status, c.log);
            return 0;
        }
    char log[48];
    std::snprintf(log, sizeof log, "server returned Unknown code: %d", code);
    ddnsReport(status, "tzo update failed\n", log);
    return -1;
}

}  // namespace zezarur::ddns
