// Compresses the text configuration into the gzip file that flash keeps.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <zlib.h>

namespace {

constexpr const char *textConfig = "/var/orbrix.cfg.ascii";
constexpr const char *gzipConfig = "/var/orbrix.cfg";
constexpr size_t pieceSize = 512;

}  // namespace

extern "C" int zConfigWrite(void) {
    FILE *in = adpFileOpen(textConfig, "r");
    if (!in) return -1;
    gzFile out = gzopen(gzipConfig, "wb9");
    if (!out) {
        adpFileClose(in);
        return -1;
    }
    unsigned char piece[pieceSize];
    int result = 0;
    while (!adpFileEOF(in)) {
        size_t n = adpFileRead(piece, 1, pieceSize, in);
        if (n > 0) {
            gzwrite(out, piece, static_cast<unsigned>(n));
        } else if (!adpFileEOF(in)) {
            // A read error short of the end: a truncated configuration must
            // not be stored over the good one.
            result = -1;
            break;
        }
    }
    gzclose(out);
    adpFileClose(in);
    return result;
}
