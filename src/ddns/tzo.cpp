// TZO: a line to the cluster lookup host names the update server, a second
// line to that server carries domain, e-mail address, key and address.  Both
// servers close after their reply.
#include <zezarur/adp.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
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
long receiveAll(int fd, char *buffer) {
    std::memset(buffer, 0, bufferSize);
    return ::recv(fd, buffer, bufferSize - 1, MSG_WAITALL);
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
    if (connectTo(sock.get(), lookup, lookupPort, "connect :") < 0) {
        ddnsReport(status, "tzo:unable to establish connection\n", "tzo:unable to establish connection");
        return -1;
    }
    Malloced<char> buffer = allocate(bufferSize);
    if (!buffer) {
        report("pBuffer :");
        return -1;
    }

    syslog(LOG_INFO, "sending tzo update request");
    long n = tzoLookupLine(buffer.get(), *record);
    if (sendOnce(sock.get(), buffer.get(), static_cast<std::size_t>(n), "send: ") < 0) {
        syslog(LOG_INFO, "TZO: Send Failed");
        return -1;
    }
    receiveAll(sock.get(), buffer.get());  // a failed receive leaves no comma
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
    if (connectTo(sock.get(), updater, updatePort, "connect :") < 0) return -1;

    ifDevInfo info{};
    if (ifDevGet(&info, 0, record->ifNum) == -1) return -1;
    in_addr address{info.addr};
    n = tzoUpdateLine(buffer.get(), *record, inet_ntoa(address));
    if (n < 0) {
        ddnsReport(status, tooLong, tooLong, LOG_ERR);
        return -1;
    }
    if (sendOnce(sock.get(), buffer.get(), static_cast<std::size_t>(n), "send: ") < 0) return -1;
    if (reported(receiveAll(sock.get(), buffer.get()), "recv: ") < 0) return -1;

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
