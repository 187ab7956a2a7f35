// Splitting the configuration text in place: lines end at line feeds (runs
// of them count as one), fields at TABs (runs count as one, leading ones are
// skipped), so no line and no field is ever empty.
#pragma once

namespace zezarur::ddns {

constexpr int ddnsConfigFieldCount = 7;
// Only this many bytes of the file are read; the rest is ignored.
constexpr unsigned long ddnsConfigMax = 400;

// The next line at cursor, NUL-terminated in place; null at the end.
inline char *ddnsConfigLine(char *&cursor) {
    while (*cursor == '\n') ++cursor;
    if (!*cursor) return nullptr;
    char *line = cursor;
    while (*cursor && *cursor != '\n') ++cursor;
    if (*cursor) *cursor++ = '\0';
    return line;
}

// Up to seven fields of line, NUL-terminated in place; the rest of the line
// is ignored.  The number of fields found.
inline int ddnsConfigFields(char *line, char *(&fields)[ddnsConfigFieldCount]) {
    int n = 0;
    while (n < ddnsConfigFieldCount) {
        while (*line == '\t') ++line;
        if (!*line) break;
        fields[n++] = line;
        while (*line && *line != '\t') ++line;
        if (*line) *line++ = '\0';
    }
    return n;
}

}  // namespace zezarur::ddns
