// The simulated LEDs' state file, "<sandbox>/leds": one "N on|off" line per
// LED 1-11; a missing file or line is an LED that is off.
#pragma once

#include <array>
#include <cstddef>

#include "devices/leds.hpp"

namespace adp::sim::leds {

using Lit = std::array<bool, zezarur::device::ledCount + 1>;  // by LED number, 1-11

// The state the file holds, read under its lock (held by the caller).
Lit read(int fd);
// The canonical text into text (size bytes): its length, or -1.
int format(const Lit &lit, char *text, size_t size);

}  // namespace adp::sim::leds
