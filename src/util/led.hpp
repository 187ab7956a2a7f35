// LED driver requests: _IOW(0x0C, n, int), the record is the LED number.
#pragma once

namespace zezarur {

constexpr unsigned long ledIoctlOff = 0x40040C00;
constexpr unsigned long ledIoctlOn = 0x40040C01;

}  // namespace zezarur
