// The end of a time limit, for the blocking socket calls of one exchange.
#pragma once

#include <sys/time.h>
#include <time.h>

#include "platform/time_limits.hpp"

namespace zezarur {

// Runs out when the limit's seconds have passed on the monotonic clock or
// on the platform's clock (adp_gettimeofday), whichever comes first: a
// platform clock set back never lengthens a wait, and the sandbox can move
// its clock ahead to end one at once.
class Deadline {
   public:
    explicit Deadline(const TimeLimit &limit);
    const TimeLimit &limit() const { return limit_; }
    bool passed() const;
    // How long the next blocking call may wait: at most a second, so that a
    // platform clock moved ahead is seen within one; never zero, which the
    // kernel would take for no limit at all.
    timeval slice() const;

   private:
    long leftMs() const;

    TimeLimit limit_;
    timespec monotonicStart_;
    long platformStart_;
};

}  // namespace zezarur
