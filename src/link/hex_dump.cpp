// A hex dump of a frame for debugging: eight bytes to a line.
#include <zezarur/zezarur.h>

#include <cstdio>

extern "C" void hexDump(const char *label, const unsigned char *data, int len) {
    if (!label) label = "";
    if (!data) {
        std::printf("%s %p\n", label, static_cast<const void *>(data));
        return;
    }
    std::fputs(label, stdout);
    for (int i = 0; i < len; ++i) std::printf("%02x%s", data[i], (i + 1) % 8 ? " " : "\n");
    std::putchar('\n');
}
