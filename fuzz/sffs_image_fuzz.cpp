// The sffs command over any flash image: the input is the image's start (its
// first eight bytes block 0's header), erased bytes fill it up to one 128 KiB
// sector; an input shorter than a header is the whole image.  Status, restore
// and store must not fail badly; a restore that succeeds gives the count of
// bytes after the header, and a store that succeeds is restored byte for byte.
#include <zezarur/zezarur.h>

#include "sandbox.hpp"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

static std::string path(const char *name) { return fuzzSandbox() + "/" + name; }

static std::string get(const char *name) {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// sffs with a mode and a file of the sandbox, or the status report without.
static int sffs(const char *mode = nullptr, const char *file = "") {
    std::string name = path(file);
    char *argv[] = {const_cast<char *>("sffs"), const_cast<char *>(mode), name.data(), nullptr};
    return sffsMain(mode ? 3 : 1, argv);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 17) return -1;
    std::string image(reinterpret_cast<const char *>(data), size);
    if (size >= 8) image.resize(1 << 17, '\xff');
    std::ofstream(path("dev/obxcfgC"), std::ios::binary) << image;
    if (sffs() != 0) std::abort();
    size_t count = size < 8 ? 0 : size_t{data[5]} << 16 | size_t{data[6]} << 8 | data[7];  // big-endian
    if (sffs("r", "restored") == 0 &&
        (count == 0 || count > image.size() - 8 || get("restored") != image.substr(8, count)))
        std::abort();
    std::ofstream(path("stored"), std::ios::binary) << "a small compressed configuration";
    if (sffs("w", "stored") == 0 && (sffs("r", "restored") != 0 || get("restored") != get("stored")))
        std::abort();
    return 0;
}
