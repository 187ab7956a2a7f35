// Compresses the text configuration into the gzip file that flash keeps.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <zlib.h>

#include <cstdio>

#include "platform/owned.hpp"

namespace {

constexpr const char *textConfig = "/var/orbrix.cfg.ascii";
constexpr const char *gzipConfig = "/var/orbrix.cfg";
constexpr size_t pieceSize = 512;

}  // namespace

extern "C" int zConfigWrite(void) {
    zezarur::AdpFile text(adpFileOpen(textConfig, "r"));
    if (!text) return -1;
    gzFile out = gzopen(gzipConfig, "wb9");
    if (!out) return -1;
    FILE *in = text.get();
    unsigned char piece[pieceSize];
    bool whole = true;
    while (whole && !adpFileEOF(in)) {
        size_t n = adpFileRead(piece, 1, pieceSize, in);
        // A read error short of the end, or a write that did not take every
        // byte (a full /var), leaves a dump that must not be stored.
        if (n > 0)
            whole = gzwrite(out, piece, static_cast<unsigned>(n)) == static_cast<int>(n);
        else
            whole = adpFileEOF(in);
    }
    whole = gzclose(out) == Z_OK && whole;  // the last bytes are written here
    if (whole) return 0;
    std::remove(gzipConfig);  // no piece of a dump is left for a later store to take
    return -1;
}
