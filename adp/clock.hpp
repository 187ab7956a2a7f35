// The sandbox's clock: "<sandbox>/clock" holds the seconds by which the
// router's time differs from the machine's, read at every call of
// adp_gettimeofday.
#pragma once

namespace adp::sim {

// The offset in seconds; 0 outside a sandbox or before any advance.
long clockOffset();

// Moves the offset ahead by seconds (0 or more), atomically for every
// reader; false when it cannot.
bool advanceClock(long seconds);

// Sets the router's time to unixSeconds (0 or more: 1970 for a router
// without a battery-backed clock), from where it runs on; false when it
// cannot.
bool setClock(long unixSeconds);

}  // namespace adp::sim
