// What the bcm command prints for the records the switch driver fills.
#pragma once

#include <string_view>

#include "devices/bcm53xx.hpp"

namespace zezarur::bcm {

// Opens and closes the MIB report and the usage text.
inline constexpr const char *starLine =
    "*************************************************************";
static_assert(std::string_view(starLine).size() == 61);

// A count beyond the record's room is cut to the room: the driver may report
// more than the record holds, but nothing past it is ever read.
void printPortMap(const PortMap &map);
void printDot1q(const Dot1qState &state);
void printMib(const MibCounters &mib);
void printArl(const uint64_t (&entries)[arlCapacity], int32_t count);

}  // namespace zezarur::bcm
