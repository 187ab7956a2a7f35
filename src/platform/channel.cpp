#include "platform/channel.hpp"

#include "platform/sock.hpp"
#if ZEZARUR_TLS
#include "platform/tls.hpp"
#endif

namespace zezarur {

long channelSend(int fd, [[maybe_unused]] TlsSession *tls, const void *data, std::size_t len,
                 const Deadline &deadline, const char *tag) {
#if ZEZARUR_TLS
    if (tls) return tlsSend(*tls, data, len, deadline, tag);
#endif
    return sendAll(fd, data, len, deadline, tag);
}

long channelReceive(int fd, [[maybe_unused]] TlsSession *tls, void *buffer, std::size_t size,
                    const Deadline &deadline, const char *tag) {
#if ZEZARUR_TLS
    if (tls) return tlsRecv(*tls, buffer, size, deadline, tag);
#endif
    return recvOnce(fd, buffer, size, deadline, tag);
}

}  // namespace zezarur
