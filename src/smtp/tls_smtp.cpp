#include "smtp/tls_smtp.hpp"

#include <cstdio>
#include <cstring>

#include "platform/tls.hpp"
#include "smtp/session.hpp"

namespace zezarur::smtp {
namespace {

// Sends command and reads its reply into the cleared buffer.
long exchange(char *reply, std::size_t size, const char *command, ExtensionScan *scan) {
    if (smtpSendLine(reply, size, "send: ", "%s\r\n", command) < 0) return -1;
    std::memset(reply, 0, size + 1);
    return smtpRecv(reply, size, "recv: ", scan);
}

}  // namespace

bool smtpTlsOpen(const char *server) {
    const Deadline deadline(smtpCommandLimit);
    TlsFailure why;
    // The handshake's failed sends and reads are told by the reason alone.
    smtpTls = tlsStart(smtpSocket, server, deadline, nullptr, why);
    if (!smtpTls) smtpSay("TLS: %s", why.text);
    return smtpTls != nullptr;
}

bool smtpStartTls(char *reply, std::size_t size, const char *server) {
    ExtensionScan offers("STARTTLS");
    const long n = exchange(reply, size, "ehlo localhost", &offers);
    if (n < 0) return false;
    if (!smtpReplyIs(reply, n, "250") || !offers.found()) {
        smtpSay("the server does not offer STARTTLS");
        smtpQuit(reply, size);  // a refusal in clear still ends politely
        return false;
    }
    // Whatever came with the 220 after its line end is never read as the
    // server's: RFC 3207's defence against commands injected in clear.
    if (!smtpReplyIs(reply, exchange(reply, size, "STARTTLS", nullptr), "220")) {
        smtpSay("the server refused STARTTLS");
        smtpQuit(reply, size);
        return false;
    }
    return smtpTlsOpen(server);
}

void smtpTlsEnd() {
    tlsEnd(smtpTls);
    smtpTls = nullptr;
}

}  // namespace zezarur::smtp
