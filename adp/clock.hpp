// The sandbox's clock: "<sandbox>/clock" holds the seconds by which the
// router's time runs ahead of the machine's, read at every call of
// adp_gettimeofday; it only ever moves ahead.
#pragma once

namespace adp::sim {

// The offset in seconds; 0 outside a sandbox or before any advance.
long clockOffset();

// Moves the offset ahead by seconds (0 or more), atomically for every
// reader; false when it cannot.
bool advanceClock(long seconds);

}  // namespace adp::sim
