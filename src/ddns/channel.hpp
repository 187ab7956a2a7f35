// An update exchange's way out and in (platform/channel.hpp): the socket,
// inside TLS when the variant asks for it (a URL record's https), the
// session owned from the handshake to the exchange's end.
#pragma once

#include <cstddef>
#include <cstdio>

#include "ddns/ddns.hpp"
#include "platform/channel.hpp"

namespace zezarur::ddns {

class Channel {
   public:
    explicit Channel(int fd) : fd_(fd) {}
    ~Channel();
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    // Over TLS, the handshake with the variant's server: false, with the
    // reason in the status file and the log, when it fails.
    bool open(FILE *status, const DynDnsVariant &v, const Deadline &exchange);
    // As sendAll and recvOnce: one receive is one TLS record's bytes.
    long send(const char *data, std::size_t len, const Deadline &exchange, const char *tag);
    long receive(char *buffer, std::size_t size, const Deadline &exchange, const char *tag);

   private:
    int fd_;
    TlsSession *tls_ = nullptr;  // null without TLS built in
};

}  // namespace zezarur::ddns
