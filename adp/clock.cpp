// The time of day.  In a sandbox the clock runs ahead of the machine's by the
// seconds in "<sandbox>/clock" (`zezarur-sim clock advance`), read at every
// call, so long intervals of the daemons pass in moments.
#include "clock.hpp"

#include <zezarur/adp.h>

#include <cstdio>
#include <cstdlib>
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

// Writers take turns on a lock file; readers never wait, since the new
// offset replaces the file in one rename.
bool advanceClock(long seconds) {
    char p[PATH_MAX], next[PATH_MAX];
    LockedFile turn("clock.lock", true);
    if (seconds < 0 || !turn.valid() || !path(p, "clock") || !path(next, "clock.new")) return false;
    FILE *f = std::fopen(next, "we");
    if (!f) return false;
    const bool written = std::fprintf(f, "%ld\n", clockOffset() + seconds) > 0;
    return std::fclose(f) == 0 && written && std::rename(next, p) == 0;
}

}  // namespace adp::sim

extern "C" int adp_gettimeofday(struct timeval *time, void *zone) {
    int result = ::gettimeofday(time, static_cast<struct timezone *>(zone));
    if (result == 0 && time) time->tv_sec += adp::sim::clockOffset();
    return result;
}
