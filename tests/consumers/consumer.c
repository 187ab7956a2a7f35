/* A firmware program built against an installed zezarur: MD5 of a known
 * text, a Base64 round trip and one applet entry.  Exit status 0 when all
 * three give what they should. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zezarur/zezarur.h>

int main(void) {
    static const char text[] = "The quick brown fox jumps over the lazy dog";
    MD5Context context;
    unsigned char digest[16];
    MD5Init(&context);
    MD5Update(&context, (const unsigned char *)text, (uint32_t)strlen(text));
    MD5Final(digest, &context);
    char hex[33];
    for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);

    int length = (int)strlen(text);
    base64_encode(text, &length);
    char *encoded = base64_detach(&length);
    char *decoded = base64_decode(encoded, &length);
    int roundTrip = decoded && length == (int)strlen(text) && memcmp(decoded, text, strlen(text)) == 0;
    free(encoded);

    char *argv[] = {"link", NULL};
    int usage = linkMain(1, argv); /* no interface: the usage line, status 1 */

    printf("md5 %s, base64 round trip %s, link without a name %d\n", hex,
           roundTrip ? "ok" : "FAILED", usage);
    return strcmp(hex, "9e107d9d372bb6826bd81d3542a419d6") == 0 && roundTrip && usage == 1 ? 0 : 1;
}
