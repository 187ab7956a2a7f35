// The router's time of day in whole seconds, as the platform clock
// (adp_gettimeofday) gives it: the one the sandbox can move.
#pragma once

#include <sys/time.h>
#include <zezarur/adp.h>

namespace zezarur {

inline long platformSeconds() {
    timeval now{};
    adp_gettimeofday(&now, nullptr);
    return static_cast<long>(now.tv_sec);  // time_t is 64 bits wide in musl 1.2; long is the router's
}

}  // namespace zezarur
