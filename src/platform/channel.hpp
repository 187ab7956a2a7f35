// A connection's one way out and one way in: the socket itself, or the TLS
// session on it once one is open (null: none, and always so in a library
// built without TLS).
#pragma once

#include <cstddef>

#include "platform/deadline.hpp"

namespace zezarur {

struct TlsSession;

// As sendAll: len, or -1.
long channelSend(int fd, TlsSession *tls, const void *data, std::size_t len, const Deadline &deadline,
                 const char *tag);
// As recvOnce: inside TLS, one receive is one record's bytes.
long channelReceive(int fd, TlsSession *tls, void *buffer, std::size_t size, const Deadline &deadline,
                    const char *tag);

}  // namespace zezarur
