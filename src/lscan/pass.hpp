// The daemon's arithmetic: what one pass of its loop does at a counter value,
// the counter of the next pass, and the range and pacing of a subnet sweep.
// Pure, so that every phase can be checked counter by counter.
#pragma once

#include <cstdint>

namespace zezarur::lscan {

constexpr int defaultRate = 180;
// The LAN record is fetched, and the host list updated, every 5 passes.
constexpr int updateEvery = 5;
constexpr unsigned passSeconds = 1;
// Wait between fetches while the LAN has no address or no netmask.
constexpr unsigned unaddressedSeconds = 10;

constexpr bool fetchDue(int counter) { return counter % updateEvery == 0; }

struct Pass {
    bool sweep;             // sweep the subnet
    bool update;            // rewrite the host list
    unsigned sleepSeconds;  // at the end of the pass
    int next;               // counter of the following pass
};

// The pass at `counter` with refresh rate `rate` (1 or more); `addressed`
// tells whether the LAN record, as fetched for this pass or kept from the
// last fetch, has an address and a netmask.  Without one, a fetching pass
// waits and starts again at 0, so the pass that finds an address sweeps.
constexpr Pass passPlan(int counter, int rate, bool addressed) {
    if (fetchDue(counter) && !addressed) return {false, false, unaddressedSeconds, 0};
    // The wrap at 5 * rate keeps the phases of 5 and of the rate across it;
    // a rate so large that 5 * rate passes the counter's range wraps there.
    const std::int64_t next = std::int64_t{counter} + 1;
    const bool wrap = next >= std::int64_t{updateEvery} * rate || next > INT32_MAX;
    return {addressed && counter % rate == 0, fetchDue(counter), passSeconds,
            wrap ? 0 : static_cast<int>(next)};
}

struct SweepRange {
    std::uint32_t first;  // host order
    std::uint32_t count;  // addresses first, first + 1, ...
    std::uint32_t pause;  // microseconds after each datagram
};

// The addresses a sweep covers: from the one after the network address up
// to the one before the broadcast address, at most 255 of them, spread over
// about 10 seconds.  Worked in 64 bits, so that no network near the top of
// the address space wraps round to a sweep of the whole space.
constexpr SweepRange sweepRange(std::uint32_t address, std::uint32_t netmask) {
    constexpr std::uint64_t sweepMicros = 10000000;
    constexpr std::uint64_t widest = 255;
    const std::uint64_t first = std::uint64_t{address & netmask} + 1;
    const std::uint64_t broadcast = address | ~netmask;
    const std::uint64_t end = broadcast < first + widest ? broadcast : first + widest;
    if (end <= first) return {static_cast<std::uint32_t>(first), 0, 0};
    const std::uint64_t last = end - 1;
    const std::uint64_t pause = last > first ? sweepMicros / (last - first) : 0;
    return {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last - first + 1),
            static_cast<std::uint32_t>(pause)};
}

}  // namespace zezarur::lscan
