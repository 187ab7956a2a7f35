#include "ddns/channel.hpp"

#include "platform/channel.hpp"
#if ZEZARUR_TLS
#include "platform/tls.hpp"
#endif

namespace zezarur::ddns {

Channel::~Channel() {
#if ZEZARUR_TLS
    tlsEnd(tls_);
#endif
}

// Without TLS built in, a URL record refuses https before any exchange.
bool Channel::open([[maybe_unused]] FILE *status, const DynDnsVariant &v,
                   [[maybe_unused]] const Deadline &exchange) {
    if (!v.tls) return true;
#if ZEZARUR_TLS
    TlsFailure why;
    // The handshake's failed sends and reads are told by the reason alone.
    tls_ = tlsStart(fd_, v.server, exchange, nullptr, why);
    if (tls_) return true;
    ddnsTell(status, "%s: TLS: %s\n", v.server, why.text);
    ddnsLate(status, exchange, v.server);
#endif
    return false;
}

long Channel::send(const char *data, std::size_t len, const Deadline &exchange, const char *tag) {
    return channelSend(fd_, tls_, data, len, exchange, tag);
}

long Channel::receive(char *buffer, std::size_t size, const Deadline &exchange, const char *tag) {
    return channelReceive(fd_, tls_, buffer, size, exchange, tag);
}

}  // namespace zezarur::ddns
