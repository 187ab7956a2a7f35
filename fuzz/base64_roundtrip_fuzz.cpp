// Any bytes, encoded and decoded again, come back unchanged; the text has a
// line feed after every 76 characters and nowhere else.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return -1;
    int length = static_cast<int>(size);
    const char *bytes = size ? reinterpret_cast<const char *>(data) : "";
    char *text = base64_encode(bytes, &length);
    if (!text || text[length] != '\0' || std::strlen(text) != size_t(length)) std::abort();
    for (int i = 0; i < length; ++i)
        if ((text[i] == '\n') != (i % 77 == 76)) std::abort();

    char *decoded = base64_decode(text, &length);  // frees text
    if (!decoded || size_t(length) != size || (size && std::memcmp(decoded, data, size) != 0))
        std::abort();
    return 0;
}
