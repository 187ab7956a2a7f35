// The CRAM-MD5 response digest (RFC 2195): HMAC-MD5 of the decoded challenge
// keyed with the secret, as lowercase hex.
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const unsigned char *bytes(const char *text) { return reinterpret_cast<const unsigned char *>(text); }
int length(const char *text) { return static_cast<int>(std::strlen(text)); }

}  // namespace

extern "C" int crammd5digest(const char *secret, const char *challengeText, char **response) {
    unsigned char digest[16];
    hmac_md5(bytes(challengeText), length(challengeText), bytes(secret), length(secret), digest);

    static constexpr char digits[] = "0123456789abcdef";
    char hex[2 * sizeof digest + 1];
    for (size_t i = 0; i < sizeof digest; ++i) {
        hex[2 * i] = digits[digest[i] >> 4];
        hex[2 * i + 1] = digits[digest[i] & 15];
    }
    hex[sizeof hex - 1] = '\0';
    std::printf("digest it digest value: %s\n", hex);

    if (!*response) {
        *response = static_cast<char *>(std::calloc(sizeof hex, 1));
        if (!*response) {
            std::puts("Failed to allocate memory for response buff");
            return -1;
        }
    }
    std::memcpy(*response, hex, sizeof hex);
    std::printf("ppResponse: %s\n", *response);
    return 0;
}
