// base64_decode on any text: the input is made NUL-terminated, as the
// decoder requires, and decoded both sized by its string length and with its
// byte count given.  The two results must agree and stay within 3/4 of the
// text.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return -1;
    auto *text = static_cast<char *>(std::malloc(size + 1));
    if (size) std::memcpy(text, data, size);
    text[size] = '\0';

    char *first = base64_decode(text, nullptr);
    int firstLength = -1;
    if (base64_detach(&firstLength) != first || firstLength < 0) std::abort();

    int length = static_cast<int>(size);
    char *second = base64_decode(text, &length);
    if (!second || length != firstLength || std::memcmp(first, second, size_t(length)) != 0 ||
        second[length] != '\0' || size_t(length) > std::strlen(text) * 3 / 4)
        std::abort();

    std::free(first);
    std::free(text);
    return 0;
}
