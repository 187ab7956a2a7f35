// The TLS client on BearSSL, trimmed to what mail and dynamic-DNS providers
// offer today: TLS 1.2, ECDHE with RSA or ECDSA certificates, AES-GCM and
// ChaCha20-Poly1305.
#include <arpa/inet.h>
#include <bearssl.h>
#include <zezarur/adp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.hpp"
#include "platform/sock.hpp"
#include "platform/text.hpp"
#include "platform/tls.hpp"
#include "platform/tls_primitives.hpp"
#include "platform/tls_trust.hpp"

namespace zezarur {

// The socket under the session and the wait that the current call may take.
struct TlsLink {
    int fd;
    const Deadline *deadline;
    const char *tag;
    bool closed;  // the server closed (or reset) the connection
};

struct TlsSession {
    br_ssl_client_context client;
    TrustCheck trust;
    br_sslio_context io;
    TlsLink link;
    // Records coming in may be 16 KB; those going out are cut to fit 1 KB.
    unsigned char input[BR_SSL_BUFSIZE_INPUT];
    unsigned char output[1024 + BR_SSL_BUFSIZE_OUTPUT - 16384];
};

namespace {

constexpr std::uint16_t suites[] = {
    BR_TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256,       BR_TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256,
    BR_TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384,       BR_TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384,
    BR_TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256, BR_TLS_ECDHE_RSA_WITH_CHACHA20_POLY1305_SHA256,
};

// A router without a battery-backed clock boots in 1970: a clock before the
// library was built is taken as the build's time, so certificates still
// valid then are not refused as not yet valid.
long validationTime() { return std::max(platformSeconds(), static_cast<long>(ZEZARUR_BUILD_EPOCH)); }

// BearSSL's way to say that a read or write failed, with the link noting
// whether the server had gone.
int failed(TlsLink &link, long result) {
    link.closed = result == 0 || errno == ECONNRESET || errno == EPIPE;
    return -1;
}

int lowRead(void *ctx, unsigned char *data, std::size_t len) {
    auto &link = *static_cast<TlsLink *>(ctx);
    const long n = recvOnce(link.fd, data, len, *link.deadline, link.tag);
    return n > 0 ? static_cast<int>(n) : failed(link, n);
}

int lowWrite(void *ctx, const unsigned char *data, std::size_t len) {
    auto &link = *static_cast<TlsLink *>(ctx);
    const long n = sendAll(link.fd, data, len, *link.deadline, link.tag);
    return n >= 0 ? static_cast<int>(len) : failed(link, n);
}

void setUp(TlsSession &s) {
    br_ssl_client_context &client = s.client;
    br_ssl_engine_context &engine = client.eng;
    br_ssl_client_zero(&client);
    br_ssl_engine_set_versions(&engine, BR_TLS12, BR_TLS12);
    br_ssl_engine_set_suites(&engine, suites, sizeof suites / sizeof suites[0]);
    tlsChooseEnginePrimitives(engine);
    br_ssl_engine_set_x509(&engine, &s.trust.vtable);
    br_ssl_engine_set_buffers_bidi(&engine, s.input, sizeof s.input, s.output, sizeof s.output);
}

// The failure in the user's words.
void explain(const TlsSession &s, TlsFailure &why) {
    const int error = br_ssl_engine_last_error(&s.client.eng);
    const char *text = nullptr;
    switch (error) {
        case BR_ERR_X509_NOT_TRUSTED:
            text = "chain not trusted";
            break;
        case BR_ERR_X509_BAD_SERVER_NAME:
            text = "name mismatch";
            break;
        case BR_ERR_X509_EXPIRED:
            text = "certificate expired or not yet valid";
            break;
        case tlsNoTrustBundle:
            text = "no trust bundle " ZEZARUR_TRUST_BUNDLE;
            break;
        case tlsChainTooLong:
            text = "the server's chain is too long";
            break;
        case BR_ERR_IO:
            text = s.link.closed ? "connection closed mid-handshake"
                   : errno == ETIMEDOUT ? "time limit ran out in the handshake"
                                        : "connection failed in the handshake";
            break;
        default:
            break;
    }
    if (text)
        formatWhole(why.text, sizeof why.text, "%s", text);
    else if (error >= BR_ERR_RECV_FATAL_ALERT && error < BR_ERR_SEND_FATAL_ALERT)
        formatWhole(why.text, sizeof why.text, "the server's alert %d", error - BR_ERR_RECV_FATAL_ALERT);
    else
        formatWhole(why.text, sizeof why.text, "handshake failed (BearSSL error %d)", error);
}

}  // namespace

TlsSession *tlsStart(int fd, const char *serverName, const Deadline &deadline, const char *tag,
                     TlsFailure &why) {
    in_addr address;
    if (inet_pton(AF_INET, serverName, &address) == 1) {
        formatWhole(why.text, sizeof why.text, "a certificate names a server, not an address");
        return nullptr;
    }
    auto *s = static_cast<TlsSession *>(std::calloc(1, sizeof(TlsSession)));
    if (!s) {
        formatWhole(why.text, sizeof why.text, "no memory for a session");
        return nullptr;
    }
    setUp(*s);
    trustCheckInit(s->trust, ZEZARUR_TRUST_BUNDLE, validationTime());
    s->link = {fd, &deadline, tag, false};
    br_sslio_init(&s->io, &s->client.eng, lowRead, &s->link, lowWrite, &s->link);
    // Flushing runs the handshake to its end, or to its failure.
    if (br_ssl_client_reset(&s->client, serverName, 0) && br_sslio_flush(&s->io) == 0) return s;
    explain(*s, why);
    tlsEnd(s);
    return nullptr;
}

long tlsSend(TlsSession &s, const void *data, std::size_t len, const Deadline &deadline, const char *tag) {
    s.link.deadline = &deadline;
    s.link.tag = tag;
    if (br_sslio_write_all(&s.io, data, len) < 0 || br_sslio_flush(&s.io) < 0) return -1;
    return static_cast<long>(len);
}

long tlsRecv(TlsSession &s, void *buffer, std::size_t size, const Deadline &deadline, const char *tag) {
    s.link.deadline = &deadline;
    s.link.tag = tag;
    const int n = br_sslio_read(&s.io, buffer, size);
    if (n >= 0) return n;
    // A close, with or without the close_notify alert, is a server that
    // closed, as on a plain connection.
    const int error = br_ssl_engine_last_error(&s.client.eng);
    return s.link.closed || error == BR_ERR_OK ? 0 : -1;
}

void tlsEnd(TlsSession *s) {
    if (!s) return;
    trustCheckRelease(s->trust);
    std::free(s);
}

}  // namespace zezarur
