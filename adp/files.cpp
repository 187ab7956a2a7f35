// Stream calls: thin wrappers over stdio.
#include <zezarur/adp.h>

#include <cstdarg>
#include <cstdio>

extern "C" {

FILE *adpFileOpen(const char *path, const char *mode) { return std::fopen(path, mode); }

size_t adpFileRead(void *buffer, size_t size, size_t count, FILE *stream) {
    return std::fread(buffer, size, count, stream);
}

char *adpFileGets(char *buffer, int size, FILE *stream) { return std::fgets(buffer, size, stream); }

int adpFileEOF(FILE *stream) { return std::feof(stream); }

int adpFilePrintf(FILE *stream, const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = std::vfprintf(stream, format, ap);
    va_end(ap);
    return n;
}

int adpFileClose(FILE *stream) { return std::fclose(stream); }

}  // extern "C"
