// The server chain's check: BearSSL's minimal X.509 engine, given as trust
// anchors only the bundle's authorities that the chain names as issuers.
// The chain is kept until its end (a few KB), so the bundle's hundred-odd
// authorities are read one at a time and never held at once.
#pragma once

#include <bearssl.h>

#include <cstddef>
#include <cstdint>

namespace zezarur {

// end_chain's codes beyond BearSSL's own.
inline constexpr unsigned tlsNoTrustBundle = 0x7001;
inline constexpr unsigned tlsChainTooLong = 0x7002;

struct TrustCheck {
    static constexpr unsigned maxCerts = 8;
    // Bounds that keep a session within 40 KB: 25 KB of contexts and
    // buffers, the chain (today's providers send 3 to 5 KB) and the anchors.
    static constexpr std::size_t maxChain = 10 * 1024;
    static constexpr unsigned maxAnchors = 2;

    const br_x509_class *vtable;  // first: the engine calls through its address
    br_x509_minimal_context minimal;
    const char *bundle;
    const char *serverName;
    std::uint32_t days, seconds;  // the validation time, BearSSL's way
    unsigned char *chain;
    std::size_t length;
    std::size_t ends[maxCerts];
    unsigned certs;
    bool tooLong;
    br_x509_trust_anchor anchors[maxAnchors];
    unsigned anchorCount;
};

// Ready for a handshake: bundle is read at the chain's end; the clock is
// unix seconds.
void trustCheckInit(TrustCheck &check, const char *bundle, long unixSeconds);
// The chain and anchors' memory released.
void trustCheckRelease(TrustCheck &check);

// The issuer name (its whole DER encoding) of one DER certificate; false
// when the certificate's start is malformed.
bool certificateIssuer(const unsigned char *cert, std::size_t len, const unsigned char **dn,
                       std::size_t *dnLen);

}  // namespace zezarur
