// zezarur: the host program.  Loads libzezarur.so and runs an applet, named
// by the first argument or by the name it was run as.
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <libgen.h>
#include <limits.h>
#include <unistd.h>

namespace {

struct Applet {
    const char *name, *entry;
};
constexpr Applet applets[] = {
#define APPLET(name) {#name, #name "Main"},
#include "applets.def"
#undef APPLET
};

using Entry = int (*)(int, char **);

// Where an installed library lies relative to the program's folder (from
// the install directories; "../lib" for the usual layout).
constexpr const char *libFromBin = ZEZARUR_LIB_FROM_BIN;

// libzezarur.so beside the program (the build tree, a flat firmware folder),
// then in its prefix's lib folder, then wherever the loader looks.  A library
// that is found but does not load is reported as such: trying further would
// hide why.
void *loadLibrary() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    exe[n < 0 ? 0 : n] = '\0';
    const char *here = dirname(exe);
    char installed[PATH_MAX];
    std::snprintf(installed, sizeof installed, "%s", here);
    const char *rest = libFromBin;
    for (; std::strncmp(rest, "../", 3) == 0; rest += 3)
        if (char *slash = std::strrchr(installed, '/')) *slash = '\0';
    size_t used = std::strlen(installed);
    std::snprintf(installed + used, sizeof installed - used, "/%s", rest);
    const char *folders[] = {here, installed};
    for (const char *folder : folders) {
        char lib[PATH_MAX];
        if (std::snprintf(lib, sizeof lib, "%s/libzezarur.so", folder) >= static_cast<int>(sizeof lib) ||
            access(lib, F_OK) != 0)
            continue;
        void *handle = dlopen(lib, RTLD_NOW);
        if (!handle) std::fprintf(stderr, "zezarur: %s\n", dlerror());
        return handle;
    }
    void *handle = dlopen("libzezarur.so", RTLD_NOW);
    if (!handle)
        std::fprintf(stderr,
                     "zezarur: libzezarur.so is not in %s nor in %s, and the loader's search "
                     "did not find it: %s\n",
                     here, installed, dlerror());
    return handle;
}

Entry entryOf(void *lib, const char *applet) {
    for (const Applet &a : applets)
        if (std::strcmp(a.name, applet) == 0) return reinterpret_cast<Entry>(dlsym(lib, a.entry));
    return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    const char *self = argc > 0 ? basename(argv[0]) : "zezarur";
    if (std::strcmp(self, "zezarur") == 0) {
        if (argc < 2) {
            std::fprintf(stderr, "usage: zezarur APPLET [ARGS...] | zezarur --list\n");
            return 2;
        }
        ++argv;
        --argc;
    }

    void *lib = loadLibrary();
    if (!lib) return 126;
    if (std::strcmp(argv[0], "--list") == 0) {
        for (const Applet &a : applets)
            if (dlsym(lib, a.entry)) std::puts(a.name);
        return 0;
    }
    const char *applet = basename(argv[0]);
    Entry entry = entryOf(lib, applet);
    if (!entry) {
        std::fprintf(stderr, "zezarur: no applet named '%s'\n", applet);
        return 127;
    }
    argv[0] = const_cast<char *>(applet);
    int status = entry(argc, argv);
    std::fflush(nullptr);
    return status & 0xFF;
}
