// The one implementation of each primitive the TLS client uses, chosen by
// name: BearSSL's "default" choices link every variant they may pick at run
// time (AES-NI, POWER8, 64-bit and 32-bit code side by side), which a
// router's flash cannot spare.
#pragma once

#include <bearssl.h>

namespace zezarur {

// The suites' record code, key exchange and the server key's check.
void tlsChooseEnginePrimitives(br_ssl_engine_context &engine);
// The chain check's hashes and signatures.
void tlsChooseX509Primitives(br_x509_minimal_context &minimal);

}  // namespace zezarur
