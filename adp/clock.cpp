// The time of day.  In a sandbox the clock runs ahead of the machine's by the
// seconds in "<sandbox>/clock" (`zezarur-sim clock advance`), read at every
// call, so long intervals of the daemons pass in moments.
#include <zezarur/adp.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "sim.hpp"

namespace {

long clockOffset() {
    char p[PATH_MAX];
    if (!adp::sim::path(p, "clock")) return 0;
    int fd = ::open(p, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[24] = {};
    (void)!::read(fd, text, sizeof text - 1);
    ::close(fd);
    return std::strtol(text, nullptr, 10);
}

}  // namespace

extern "C" int adp_gettimeofday(struct timeval *time, void *zone) {
    int result = ::gettimeofday(time, static_cast<struct timezone *>(zone));
    if (result == 0 && time) time->tv_sec += clockOffset();
    return result;
}
