#include "platform/deadline.hpp"

#include <algorithm>

#include "platform/clock.hpp"

namespace zezarur {
namespace {

timespec monotonicNow() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

}  // namespace

Deadline::Deadline(const TimeLimit &limit)
    : limit_(limit), monotonicStart_(monotonicNow()), platformStart_(platformSeconds()) {}

long Deadline::leftMs() const {
    const timespec now = monotonicNow();
    const long monotonicMs = static_cast<long>(now.tv_sec - monotonicStart_.tv_sec) * 1000 +
                             (now.tv_nsec - monotonicStart_.tv_nsec) / 1000000;
    const long platformMs = (platformSeconds() - platformStart_) * 1000;
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
