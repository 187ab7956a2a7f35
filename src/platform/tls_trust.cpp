#include "platform/tls_trust.hpp"

#include <zezarur/adp.h>

#include <cstdlib>
#include <cstring>

#include "platform/owned.hpp"
#include "platform/tls_primitives.hpp"

namespace zezarur {
namespace {

TrustCheck &of(const br_x509_class **ctx) {
    // The engine hands back the address of the vtable, TrustCheck's first member.
    return *reinterpret_cast<TrustCheck *>(ctx);
}

const TrustCheck &of(const br_x509_class *const *ctx) {
    return *reinterpret_cast<const TrustCheck *>(ctx);
}

// One DER element at p: its tag, where its content starts and its length;
// false when it does not fit in end.
bool derElement(const unsigned char *p, const unsigned char *end, unsigned char *tag,
                const unsigned char **content, std::size_t *len) {
    if (end - p < 2) return false;
    *tag = p[0];
    std::size_t n = p[1];
    p += 2;
    if (n & 0x80) {
        const std::size_t bytes = n & 0x7F;
        if (bytes == 0 || bytes > 3 || static_cast<std::size_t>(end - p) < bytes) return false;
        n = 0;
        for (std::size_t i = 0; i < bytes; ++i) n = n << 8 | *p++;
    }
    if (static_cast<std::size_t>(end - p) < n) return false;
    *content = p;
    *len = n;
    return true;
}

// Where the authorities' subject names are gathered, one at a time.
struct NameBuffer {
    unsigned char bytes[1024];
    std::size_t len;
    bool overflow;
};

void appendName(void *ctx, const void *data, std::size_t len) {
    auto &name = *static_cast<NameBuffer *>(ctx);
    if (len > sizeof name.bytes - name.len) {
        name.overflow = true;
        return;
    }
    std::memcpy(name.bytes + name.len, data, len);
    name.len += len;
}

bool chainNamesIssuer(const TrustCheck &check, const NameBuffer &name) {
    std::size_t start = 0;
    for (unsigned i = 0; i < check.certs; start = check.ends[i++]) {
        const unsigned char *dn;
        std::size_t dnLen;
        if (certificateIssuer(check.chain + start, check.ends[i] - start, &dn, &dnLen) &&
            dnLen == name.len && std::memcmp(dn, name.bytes, dnLen) == 0)
            return true;
    }
    return false;
}

// The decoded authority kept as an anchor: its name and key copied into
// one block.
void keepAnchor(TrustCheck &check, const NameBuffer &name, const br_x509_pkey &key) {
    if (check.anchorCount == TrustCheck::maxAnchors) return;
    const bool rsa = key.key_type == BR_KEYTYPE_RSA;
    const std::size_t a = rsa ? key.key.rsa.nlen : key.key.ec.qlen;
    const std::size_t b = rsa ? key.key.rsa.elen : 0;
    auto *block = static_cast<unsigned char *>(std::malloc(name.len + a + b));
    if (!block) return;
    br_x509_trust_anchor &anchor = check.anchors[check.anchorCount++];
    std::memcpy(block, name.bytes, name.len);
    anchor.dn = {block, name.len};
    anchor.flags = BR_X509_TA_CA;
    anchor.pkey = key;
    unsigned char *const first = block + name.len;
    if (rsa) {
        std::memcpy(first, key.key.rsa.n, a);
        std::memcpy(first + a, key.key.rsa.e, b);
        anchor.pkey.key.rsa.n = first;
        anchor.pkey.key.rsa.e = first + a;
    } else {
        std::memcpy(first, key.key.ec.q, a);
        anchor.pkey.key.ec.q = first;
    }
}

// One PEM certificate of the bundle, decoded as it comes: kept when the
// chain names it as an issuer.
class BundleEntry {
   public:
    void begin() {
        name_.len = 0;
        name_.overflow = false;
        br_x509_decoder_init(&decoder_, appendName, &name_);
    }
    static void push(void *ctx, const void *data, std::size_t len) {
        br_x509_decoder_push(&static_cast<BundleEntry *>(ctx)->decoder_, data, len);
    }
    void finish(TrustCheck &check) {
        const br_x509_pkey *key = br_x509_decoder_get_pkey(&decoder_);
        if (key && br_x509_decoder_isCA(&decoder_) && !name_.overflow && chainNamesIssuer(check, name_))
            keepAnchor(check, name_, *key);
    }

   private:
    NameBuffer name_;
    br_x509_decoder_context decoder_;
};

// Reads the bundle and keeps the authorities the chain names; false when
// it cannot be read.
bool loadAnchors(TrustCheck &check) {
    AdpFile file(adpFileOpen(check.bundle, "r"));
    if (!file) return false;
    br_pem_decoder_context pem;
    br_pem_decoder_init(&pem);
    BundleEntry entry;
    bool inCertificate = false;
    unsigned char buffer[512];
    for (std::size_t n; (n = adpFileRead(buffer, 1, sizeof buffer, file.get())) > 0;) {
        for (std::size_t used = 0; used < n;) {
            used += br_pem_decoder_push(&pem, buffer + used, n - used);
            const int event = br_pem_decoder_event(&pem);
            if (event == BR_PEM_BEGIN_OBJ) {
                inCertificate = std::strcmp(br_pem_decoder_name(&pem), "CERTIFICATE") == 0;
                if (inCertificate) entry.begin();
                br_pem_decoder_setdest(&pem, inCertificate ? BundleEntry::push : nullptr, &entry);
            } else if (event == BR_PEM_END_OBJ && inCertificate) {
                entry.finish(check);
                inCertificate = false;
            }
        }
    }
    return true;
}

void startChain(const br_x509_class **ctx, const char *serverName) {
    TrustCheck &check = of(ctx);
    check.serverName = serverName;
}

void startCert(const br_x509_class **ctx, std::uint32_t length) {
    TrustCheck &check = of(ctx);
    if (check.tooLong || check.certs == TrustCheck::maxCerts ||
        length > TrustCheck::maxChain - check.length) {
        check.tooLong = true;
        return;
    }
    auto *grown = static_cast<unsigned char *>(std::realloc(check.chain, check.length + length));
    if (!grown) {
        check.tooLong = true;
        return;
    }
    check.chain = grown;
    check.ends[check.certs++] = check.length + length;
}

void append(const br_x509_class **ctx, const unsigned char *data, std::size_t len) {
    TrustCheck &check = of(ctx);
    if (check.tooLong) return;
    const std::size_t room = check.ends[check.certs - 1] - check.length;
    if (len > room) len = room;
    std::memcpy(check.chain + check.length, data, len);
    check.length += len;
}

void endCert(const br_x509_class **) {}

unsigned endChain(const br_x509_class **ctx) {
    TrustCheck &check = of(ctx);
    if (check.tooLong) return tlsChainTooLong;
    if (!loadAnchors(check)) return tlsNoTrustBundle;
    br_x509_minimal_context &minimal = check.minimal;
    br_x509_minimal_init(&minimal, &br_sha256_vtable, check.anchors, check.anchorCount);
    tlsChooseX509Primitives(minimal);
    br_x509_minimal_set_time(&minimal, check.days, check.seconds);
    const br_x509_class **engine = &minimal.vtable;
    minimal.vtable->start_chain(engine, check.serverName);
    std::size_t start = 0;
    for (unsigned i = 0; i < check.certs; start = check.ends[i++]) {
        minimal.vtable->start_cert(engine, static_cast<std::uint32_t>(check.ends[i] - start));
        minimal.vtable->append(engine, check.chain + start, check.ends[i] - start);
        minimal.vtable->end_cert(engine);
    }
    return minimal.vtable->end_chain(engine);
}

const br_x509_pkey *serverKey(const br_x509_class *const *ctx, unsigned *usages) {
    const br_x509_minimal_context &minimal = of(ctx).minimal;
    return minimal.vtable->get_pkey(&minimal.vtable, usages);
}

constexpr br_x509_class trustCheckClass = {
    sizeof(TrustCheck), startChain, startCert, append, endCert, endChain, serverKey,
};

}  // namespace

bool certificateIssuer(const unsigned char *cert, std::size_t len, const unsigned char **dn,
                       std::size_t *dnLen) {
    const unsigned char *end = cert + len;
    unsigned char tag;
    const unsigned char *body;
    std::size_t n;
    // Certificate ::= SEQUENCE { tbsCertificate SEQUENCE { [0] version
    // OPTIONAL, serialNumber, signature, issuer, ... } ... }
    if (!derElement(cert, end, &tag, &body, &n) || tag != 0x30) return false;
    if (!derElement(body, body + n, &tag, &body, &n) || tag != 0x30) return false;
    end = body + n;
    for (int field = 0;; ++field) {
        const unsigned char *content;
        if (!derElement(body, end, &tag, &content, &n)) return false;
        if (field == 0 && tag == 0xA0) {
            --field;
        } else if (field == 2) {
            if (tag != 0x30) return false;
            *dn = body;
            *dnLen = static_cast<std::size_t>(content + n - body);
            return true;
        }
        body = content + n;
    }
}

void trustCheckInit(TrustCheck &check, const char *bundle, long unixSeconds) {
    std::memset(&check, 0, sizeof check);
    check.vtable = &trustCheckClass;
    check.bundle = bundle;
    // BearSSL counts days from 1 January of year 0; 719528 of them end in 1970.
    check.days = static_cast<std::uint32_t>(unixSeconds / 86400 + 719528);
    check.seconds = static_cast<std::uint32_t>(unixSeconds % 86400);
}

void trustCheckRelease(TrustCheck &check) {
    for (unsigned i = 0; i < check.anchorCount; ++i)
        std::free(const_cast<unsigned char *>(check.anchors[i].dn.data));
    std::free(check.chain);
    check.chain = nullptr;
    check.anchorCount = 0;
}

}  // namespace zezarur
