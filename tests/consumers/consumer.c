/* A firmware program built against an installed zezarur: the MD5 of a known
 * text and one applet entry.  Exit status 0 when both give what they should. */
#include <stdio.h>
#include <string.h>
#include <zezarur/zezarur.h>

int main(void) {
    static const char text[] = "The quick brown fox jumps over the lazy dog";
    MD5Context context;
    unsigned char digest[16];
    MD5Init(&context);
    MD5Update(&context, (const unsigned char *)text, (uint32_t)strlen(text));
    MD5Final(digest, &context);
    char *argv[] = {"link", NULL};
    int usage = linkMain(1, argv); /* no interface: the usage line, status 1 */
    printf("md5 starts %02x%02x, link without a name %d\n", digest[0], digest[15], usage);
    return digest[0] == 0x9e && digest[15] == 0xd6 && usage == 1 ? 0 : 1;
}
