// A TLS 1.2 client over an already connected socket, for the network
// applets: the server's chain is checked against the PEM trust bundle read
// at each handshake, its name against the name the user gave, its dates by
// the platform clock.  Every wait is bounded by the caller's deadline.
// A session owns its buffers (about 24 KB and the server's chain) from
// tlsStart to tlsEnd.
#pragma once

#include <cstddef>

#include "platform/deadline.hpp"

namespace zezarur {

struct TlsSession;

// Why a handshake failed, in words for the user ("name mismatch", "the
// server's alert 40", ...).
struct TlsFailure {
    char text[96];
};

// Shakes hands on fd with serverName (a host name: a dotted address is
// refused, see docs/smtp.md).  The session, or null with why filled in.
// tag names a failed send or recv's perror, as with sendAll and recvOnce.
TlsSession *tlsStart(int fd, const char *serverName, const Deadline &deadline, const char *tag,
                     TlsFailure &why);
// Sends all len bytes inside the session: len, or -1.
long tlsSend(TlsSession &session, const void *data, std::size_t len, const Deadline &deadline,
             const char *tag);
// Receives what the next record holds, up to size bytes: their count, 0
// when the server closed, or -1.
long tlsRecv(TlsSession &session, void *buffer, std::size_t size, const Deadline &deadline,
             const char *tag);
// Releases the session (null: nothing); the socket stays the caller's.
void tlsEnd(TlsSession *session);

}  // namespace zezarur
