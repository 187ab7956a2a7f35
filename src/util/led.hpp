// LED driver requests: write requests of type 0x0C, the record is the LED number.
#pragma once

#include "platform/handle.hpp"

namespace zezarur {

constexpr unsigned long ledIoctlOff = ioc(iocWrite, 0x0C, 0, sizeof(int));
constexpr unsigned long ledIoctlOn = ioc(iocWrite, 0x0C, 1, sizeof(int));
static_assert(ledIoctlOff == 0x40040C00 && ledIoctlOn == 0x40040C01);

}  // namespace zezarur
