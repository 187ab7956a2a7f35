#include "switch_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "sim.hpp"

namespace adp::sim::sw {

bool StateFile::read(State &s) const {
    struct stat st;
    if (!file_.valid() || ::fstat(file_.fd(), &st) != 0) return false;
    size_t size = static_cast<size_t>(st.st_size);
    char *text = static_cast<char *>(std::malloc(size + 1));
    if (!text) return false;
    bool ok = ::pread(file_.fd(), text, size, 0) == static_cast<ssize_t>(size);
    text[ok ? size : 0] = '\0';
    ok = ok && parse(s, text);
    std::free(text);
    return ok;
}

bool StateFile::write(const State &s) const {
    size_t length;
    char *text = format(s, length);
    bool ok = text && file_.replace(text, length);
    std::free(text);
    return ok;
}

bool setFault(int error) {
    LockedFile f("switch.fault", true);
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%d\n", error);
    return error > 0 && f.valid() && f.replace(text, static_cast<size_t>(n));
}

int takeFault() {
    char p[PATH_MAX];
    if (!path(p, "switch.fault")) return 0;
    FILE *f = std::fopen(p, "re");
    if (!f) return 0;
    int error = 0;
    if (std::fscanf(f, "%d", &error) != 1 || error <= 0) error = EIO;
    std::fclose(f);
    ::unlink(p);
    return error;
}

}  // namespace adp::sim::sw
