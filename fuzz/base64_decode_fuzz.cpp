// base64_decode on any text, made NUL-terminated as the decoder requires,
// both sized by its string length and with its byte count given.  The two
// results must agree and stay within 3/4 of the text.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    char *first = base64_decode(text.c_str(), nullptr);
    int firstLength = -1, length = static_cast<int>(size);
    if (base64_detach(&firstLength) != first) std::abort();
    char *second = base64_decode(text.c_str(), &length);
    if (!second || length != firstLength || std::memcmp(first, second, size_t(length)) != 0 ||
        second[length] != '\0' || size_t(length) > std::strlen(text.c_str()) * 3 / 4)
        std::abort();
    std::free(first);
    return 0;
}
