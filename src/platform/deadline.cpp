#include "platform/deadline.hpp"

#include <zezarur/adp.h>

#include <algorithm>

namespace zezarur {
namespace {

timespec monotonicNow() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

long platformNow() {
    timeval t{};
    adp_gettimeofday(&t, nullptr);
    return static_cast<long>(t.tv_sec);
}

}  // namespace

Deadline::Deadline(const TimeLimit &limit)
    : limit_(limit), monotonicStart_(monotonicNow()), platformStart_(platformNow()) {}

long Deadline::leftMs() const {
    const timespec now = monotonicNow();
    const long monotonicMs = static_cast<long>(now.tv_sec - monotonicStart_.tv_sec) * 1000 +
                             (now.tv_nsec - monotonicStart_.tv_nsec) / 1000000;
    const long platformMs = (platformNow() - platformStart_) * 1000;
    return static_cast<long>(limit_.seconds) * 1000 - std::max(monotonicMs, platformMs);
}

bool Deadline::passed() const { return leftMs() <= 0; }

timeval Deadline::slice() const {
    const long ms = std::clamp(leftMs(), 1L, 1000L);
    timeval t{};
    t.tv_sec = ms / 1000;
    t.tv_usec = (ms % 1000) * 1000;
    return t;
}

}  // namespace zezarur
