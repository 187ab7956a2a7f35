// smtp: mail a log file through an SMTP server, logging in with CRAM-MD5,
// LOGIN or not at all, from the router's LAN address.
#include <netdb.h>
#include <netinet/in.h>
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devices/interfaces.hpp"
#include "platform/decimal.hpp"
#include "platform/handle.hpp"
#include "platform/owned.hpp"
#include "platform/report.hpp"
#include "platform/sock.hpp"
#include "smtp/options.hpp"
#include "smtp/session.hpp"
#if ZEZARUR_TLS
#include "smtp/tls_smtp.hpp"
#endif

sockaddr_in serverAddress;
static_assert(sizeof serverAddress == 16);

namespace zezarur::smtp {
namespace {

// The usage texts: for smtp without arguments, and at an unknown option
// letter.  The rows of blanks are part of both.
constexpr char usageWithoutArguments[] =
    "\n"
    "Usage::\n"
    "\ti <serve-ip>\n"
    "                      \n"
    "\tt <to-address>\n"
    "                              \n"
    "\ts <Subject>\n"
    "                                 \n"
    "\tf <from address>\n"
    "\n"
    "\tC < custom port >\n"
    "\n"
    "\tc <carm-md5 authentication> or                \n"
    "\tp <plain authentication>  or                  \n"
    "\tn <no  authentication>\n"
    "                      \n"
    "\tu <Username>\n"
    "                                \n"
    "\tP <password>\n";
constexpr char usageAtUnknownOption[] =
    "\n"
    "Usage::\n"
    "\ti <serve-ip>\n"
    "                          \n"
    "\tt <to-address>\n"
    "                                  \n"
    "\ts <Subject>\n"
    "                                     \n"
    "\tf <from address>\n"
    "\n"
    "\tC <custom port>\n"
    "\n"
    "\tc <carm-md5 authentication> or                    \n"
    "\tp <plain authentication>\n"
    "  or                    \n"
    "\tn <no  authentication>\n"
    "                          \n"
    "\tu <Username>\n"
    "                                    \n"
    "\tP <password>\n";

using zezarur::device::lanInterface;
constexpr char defaultFile[] = "/var/log/securityall/current";

// The local address bound by an earlier run in this process; a new socket
// is bound only when the interface's address has changed since.
std::uint32_t boundAddress = 0;

void releaseCredentials() {
    std::free(Username);
    std::free(Password);
    Username = Password = nullptr;
}

// What is wrong before any connection is made; says so when it is not
// already said (a too short command line fails quietly).
bool ready(SmtpOptions &options) {
    if (options.count < (options.mode == smtpNoLogin ? 5 : 7)) return false;
    if (!options.file[0]) std::memcpy(options.file, defaultFile, sizeof defaultFile);
    if (!options.subject[0] || !smtpMailFits(options.subject, options.to, options.from))
        return false;
    if (options.mode == smtpLoginUnset) {
        smtpSay("no login chosen: c (CRAM-MD5), p (LOGIN) or n (none)");
        return false;
    }
    return options.mode == smtpNoLogin || smtpCredentialsSet();
}

// The session socket, bound to the LAN address unless an earlier run bound
// that address; false when it cannot be had (smtpMain closes what is left).
bool openSocket(std::uint32_t address) {
    if ((smtpSocket = tcpSocket("socket:")) < 0) return false;
    if (address == boundAddress) return true;
    if (bindTo(smtpSocket, in_addr{address}, "bind:") < 0) return false;
    boundAddress = address;
    return true;
}

bool connectToServer(const SmtpOptions &options) {
    in_addr server;
    if (!resolveFirst(options.server, &server)) {
        herror("server lookup");
        return false;
    }
    serverAddress =
        inetAddress(server, static_cast<std::uint16_t>(zezarur::decimal(options.port)));
    const Deadline deadline(smtpConnectLimit);
    if (connectTo(smtpSocket, serverAddress, deadline, "connect :") >= 0) return true;
    smtpSayIfLate(deadline);
    return false;
}

// One reply into the cleared buffer: its byte count, or -1.
long readReply(char *reply) {
    std::memset(reply, 0, smtpBufferSize);
    return smtpRecv(reply, smtpReadMax, "recv: ");
}

// The greeting, then EHLO or else HELO; with S or T inside TLS.
bool greeted(char *reply, const SmtpOptions &options) {
#if ZEZARUR_TLS
    if (options.tls == smtpTlsFirst && !smtpTlsOpen(options.server)) return false;
#endif
    smtpWithin(smtpGreetingLimit);
    if (!smtpReplyIs(reply, readReply(reply), "220")) return false;
    smtpWithin(smtpCommandLimit);
#if ZEZARUR_TLS
    if (options.tls == smtpViaStartTls && !smtpStartTls(reply, smtpReadMax, options.server)) return false;
#else
    (void)options;
#endif
    for (const char *hello : {"ehlo", "helo"}) {
        if (smtpSendLine(reply, smtpReadMax, "send: ", "%s localhost\r\n", hello) < 0) return false;
        long n = readReply(reply);
        if (smtpReplyIs(reply, n, "250")) return true;
        if (n < 0) return false;
    }
    return false;
}

int mail(const SmtpOptions &options, std::uint32_t address, char *reply) {
    if (!openSocket(address)) return -1;
    if (!connectToServer(options)) return -1;
    if (!reply) {
        report("pBuffer :");
        return -1;
    }
    if (!greeted(reply, options)) return -1;
    if ((options.mode == smtpCramMd5 && encrypt() != 0) || (options.mode == smtpLogin && plain() != 0))
        return -1;
    return sendmail(options.file, options.subject, options.to, options.from) == 0 ? 0 : -1;
}

}  // namespace
}  // namespace zezarur::smtp

using namespace zezarur::smtp;

extern "C" int smtpMain(int argc, char **argv) {
    SmtpOptions options{};
    ifDevInfo local{};
    ifDevGet(&local, 0, lanInterface);
    if (argc == 1) {
        printUsage(usageWithoutArguments);
        std::exit(1);
    }
    int result = -1;
    if (smtpOptionsRead(argc, argv, options, usageAtUnknownOption) == 0) {
        zezarur::Malloced<char> reply = zezarur::allocate(smtpBufferSize);
        if (ready(options)) result = mail(options, local.addr, reply.get());
    }
    releaseCredentials();
#if ZEZARUR_TLS
    smtpTlsEnd();
#endif
    zezarur::closeHandle(smtpSocket);
    return result;
}
