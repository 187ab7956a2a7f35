#include "platform/tls_primitives.hpp"

#include <cstddef>
#include <cstdint>

namespace zezarur {
namespace {

// X25519 through the curve's own code, the NIST curves through the generic
// one; both on the 31-bit integers, which RSA shares.
const br_ec_impl &curveCode(int curve) {
    return curve == BR_EC_curve25519 ? br_ec_c25519_i31 : br_ec_prime_i31;
}

const unsigned char *generator(int curve, std::size_t *len) {
    return curveCode(curve).generator(curve, len);
}

const unsigned char *order(int curve, std::size_t *len) {
    return curveCode(curve).order(curve, len);
}

std::size_t xoff(int curve, std::size_t *len) {
    return curveCode(curve).xoff(curve, len);
}

std::uint32_t mul(unsigned char *g, std::size_t gLen, const unsigned char *k, std::size_t kLen,
                  int curve) {
    return curveCode(curve).mul(g, gLen, k, kLen, curve);
}

std::size_t mulgen(unsigned char *r, const unsigned char *x, std::size_t xLen, int curve) {
    return curveCode(curve).mulgen(r, x, xLen, curve);
}

std::uint32_t muladd(unsigned char *a, const unsigned char *b, std::size_t len,
                     const unsigned char *x, std::size_t xLen, const unsigned char *y,
                     std::size_t yLen, int curve) {
    return curveCode(curve).muladd(a, b, len, x, xLen, y, yLen, curve);
}

// Offered for the key exchange: X25519 and P-256, what providers pick, and
// P-384, which costs only its constants and which ECDSA certificates of
// authorities that sign with P-384 keys may carry.  P-521 is not offered.
constexpr std::uint32_t offered =
    1u << BR_EC_curve25519 | 1u << BR_EC_secp256r1 | 1u << BR_EC_secp384r1;

constexpr br_ec_impl curves = {offered, generator, order, xoff, mul, mulgen, muladd};

}  // namespace

void tlsChooseEnginePrimitives(br_ssl_engine_context &engine) {
    // SHA-384 and SHA-512 share their code; SHA-1 went with the signatures
    // that authorities no longer make (and with TLS 1.0/1.1).
    br_ssl_engine_set_hash(&engine, br_sha256_ID, &br_sha256_vtable);
    br_ssl_engine_set_hash(&engine, br_sha384_ID, &br_sha384_vtable);
    br_ssl_engine_set_hash(&engine, br_sha512_ID, &br_sha512_vtable);
    br_ssl_engine_set_prf_sha256(&engine, &br_tls12_sha256_prf);
    br_ssl_engine_set_prf_sha384(&engine, &br_tls12_sha384_prf);
    // The constant-time code for 32-bit CPUs: AES in bit-sliced form, GHASH
    // and Poly1305 on 32x32->64 multiplications.
    br_ssl_engine_set_gcm(&engine, &br_sslrec_in_gcm_vtable, &br_sslrec_out_gcm_vtable);
    br_ssl_engine_set_aes_ctr(&engine, &br_aes_ct_ctr_vtable);
    br_ssl_engine_set_ghash(&engine, br_ghash_ctmul);
    br_ssl_engine_set_chapol(&engine, &br_sslrec_in_chapol_vtable, &br_sslrec_out_chapol_vtable);
    br_ssl_engine_set_chacha20(&engine, br_chacha20_ct_run);
    br_ssl_engine_set_poly1305(&engine, br_poly1305_ctmul_run);
    br_ssl_engine_set_ec(&engine, &curves);
    br_ssl_engine_set_rsavrfy(&engine, br_rsa_i31_pkcs1_vrfy);
    br_ssl_engine_set_ecdsa(&engine, br_ecdsa_i31_vrfy_asn1);
}

void tlsChooseX509Primitives(br_x509_minimal_context &minimal) {
    br_x509_minimal_set_hash(&minimal, br_sha256_ID, &br_sha256_vtable);
    br_x509_minimal_set_hash(&minimal, br_sha384_ID, &br_sha384_vtable);
    br_x509_minimal_set_hash(&minimal, br_sha512_ID, &br_sha512_vtable);
    br_x509_minimal_set_rsa(&minimal, br_rsa_i31_pkcs1_vrfy);
    br_x509_minimal_set_ecdsa(&minimal, &curves, br_ecdsa_i31_vrfy_asn1);
}

}  // namespace zezarur
