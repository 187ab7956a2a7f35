// zezarur: the host program.  Loads libzezarur.so from its own directory and
// runs an applet, named by the first argument or by the name it was run as.
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

void *loadLibrary() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n < 0) return nullptr;
    exe[n] = '\0';
    char lib[PATH_MAX];
    std::snprintf(lib, sizeof lib, "%s/libzezarur.so", dirname(exe));
    return dlopen(lib, RTLD_NOW);
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
    if (!lib) {
        std::fprintf(stderr, "zezarur: %s\n", dlerror());
        return 126;
    }
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
