// The time of day.  In a sandbox the clock differs from the machine's by the
// seconds in "<sandbox>/clock" (`zezarur-sim clock advance` or `set`), read
// at every call, so long intervals of the daemons pass in moments and a
// router that boots in 1970 can be played.
#include "clock.hpp"

#include <zezarur/adp.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "sim.hpp"
#include "sim_file.hpp"

namespace adp::sim {

long clockOffset() {
    char p[PATH_MAX];
    if (!path(p, "clock")) return 0;
    int fd = ::open(p, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[24] = {};
    (void)!::read(fd, text, sizeof text - 1);
    ::close(fd);
    return std::strtol(text, nullptr, 10);
}

namespace {

// Writers take turns on a lock file; readers never wait, since the new
// offset replaces the file in one rename.  The new offset is the current
// one plus seconds, or (not relative) seconds less the machine's time.
bool replaceOffset(bool relative, long seconds) {
    char p[PATH_MAX], next[PATH_MAX];
    LockedFile turn("clock.lock", true);
    if (!turn.valid() || !path(p, "clock") || !path(next, "clock.new")) return false;
    const long offset = relative ? clockOffset() + seconds : seconds - static_cast<long>(std::time(nullptr));
    FILE *f = std::fopen(next, "we");
    if (!f) return false;
    const bool written = std::fprintf(f, "%ld\n", offset) > 0;
    return std::fclose(f) == 0 && written && std::rename(next, p) == 0;
}

}  // namespace

bool advanceClock(long seconds) {
    return seconds >= 0 && replaceOffset(true, seconds);
}

bool setClock(long unixSeconds) {
    return unixSeconds >= 0 && replaceOffset(false, unixSeconds);
}

}  // namespace adp::sim

extern "C" int adp_gettimeofday(struct timeval *time, void *zone) {
    int result = ::gettimeofday(time, static_cast<struct timezone *>(zone));
    if (result == 0 && time) time->tv_sec += adp::sim::clockOffset();
    return result;
}
