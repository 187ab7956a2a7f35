// The configuration splitter on any 400 bytes, in the zeroed 401-byte buffer
// the daemon reads into: every field lies inside the buffer, is not empty and
// holds no TAB or line feed; at most seven per line.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ddns/config_parse.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    constexpr size_t capacity = 400;
    auto *text = static_cast<char *>(std::calloc(capacity + 1, 1));
    std::memcpy(text, data, size < capacity ? size : capacity);
    const char *end = text + capacity + 1;

    char *cursor = text;
    while (char *line = zezarur::ddns::ddnsConfigLine(cursor)) {
        if (line < text || line >= end || !*line || cursor < line || cursor >= end) std::abort();
        char *fields[zezarur::ddns::ddnsConfigFieldCount];
        int n = zezarur::ddns::ddnsConfigFields(line, fields);
        if (n < 0 || n > zezarur::ddns::ddnsConfigFieldCount) std::abort();
        for (int i = 0; i < n; ++i) {
            size_t len = std::strlen(fields[i]);
            if (fields[i] < line || fields[i] + len >= end || len == 0 ||
                std::memchr(fields[i], '\t', len) || std::memchr(fields[i], '\n', len))
                std::abort();
        }
    }
    std::free(text);
    return 0;
}
