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
#include "platform/handle.hpp"
#include "platform/sock.hpp"

namespace zezarur {

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

struct Buffer {
    char *p = static_cast<char *>(std::malloc(bufferSize));
    ~Buffer() { std::free(p); }
};

}  // namespace

int tzoUpdate(DdnsConfig *record) {
    FILE *status = record->statusFile;
    // Both lines go out whole or not at all; the update line is tried with
    // the shortest address first, so that a configuration that can never
    // fit opens no connection.
    char trial[bufferSize];
    if (tzoLookupLine(trial, *record) < 0 ||
        tzoUpdateLine(trial, *record, "0.0.0.0") < 0) {
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
    Buffer buffer;
    if (!buffer.p) {
        std::perror("pBuffer :");
        return -1;
    }

    syslog(LOG_INFO, "sending tzo update request");
    long n = tzoLookupLine(buffer.p, *record);
    if (sendOnce(sock.get(), buffer.p, static_cast<std::size_t>(n), "send: ") < 0) {
        syslog(LOG_INFO, "TZO: Send Failed");
        return -1;
    }
    receiveAll(sock.get(), buffer.p);  // a failed receive leaves no comma
    const char *server = tzoServerOf(buffer.p);
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
        std::perror("connect :");
        return -1;
    }
    if (connectTo(sock.get(), updater, updatePort, "connect :") < 0) return -1;

    ifDevInfo info{};
    if (ifDevGet(&info, 0, record->ifNum) == -1) return -1;
    in_addr address{info.addr};
    n = tzoUpdateLine(buffer.p, *record, inet_ntoa(address));
    if (n < 0) {
        ddnsReport(status, tooLong, tooLong, LOG_ERR);
        return -1;
    }
    if (sendOnce(sock.get(), buffer.p, static_cast<std::size_t>(n), "send: ") < 0) return -1;
    if (receiveAll(sock.get(), buffer.p) < 0) {
        std::perror("recv: ");
        return -1;
    }

    int code = tzoResultCode(buffer.p);
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

}  // namespace zezarur
