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

Failure failure(int error) {
    Failure f{error};
    std::snprintf(f.name, sizeof f.name, "%s",
                  error == EINVAL ? "EINVAL" : error == EFAULT ? "EFAULT" : "EIO");
    return f;
}

bool setFault(int error, const char *name) {
    LockedFile f("switch.fault", true);
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%d %s\n", error, name);
    return error > 0 && n > 0 && static_cast<size_t>(n) < sizeof text && f.valid() &&
           f.replace(text, static_cast<size_t>(n));
}

Failure takeFault() {
    char p[PATH_MAX];
    Failure fault;
    if (!path(p, "switch.fault")) return fault;
    FILE *f = std::fopen(p, "re");
    if (!f) return fault;
    if (std::fscanf(f, "%d %31s", &fault.error, fault.name) != 2 || fault.error <= 0)
        fault = failure(EIO);
    std::fclose(f);
    ::unlink(p);
    return fault;
}

}  // namespace adp::sim::sw
