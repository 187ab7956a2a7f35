// Any bytes, encoded and decoded again, come back unchanged (the oracle test
// compares the text with OpenSSL's, line feeds included, on shorter inputs).
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int length = static_cast<int>(size);
    char *text = base64_encode(size ? reinterpret_cast<const char *>(data) : "", &length);
    if (!text || std::strlen(text) != size_t(length)) std::abort();
    char *decoded = base64_decode(text, &length);  // frees text
    if (!decoded || size_t(length) != size || (size && std::memcmp(decoded, data, size) != 0)) std::abort();
    return 0;
}
