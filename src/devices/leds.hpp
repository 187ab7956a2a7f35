// The front-panel LEDs on /dev/led_dev: write requests of type 0x0C whose
// record is the LED number, 1 to 11.
#pragma once

#include "platform/handle.hpp"

namespace zezarur::device {

constexpr int ledCount = 11;
constexpr unsigned long ledOff = ioc(iocWrite, 0x0C, 0, sizeof(int));
constexpr unsigned long ledOn = ioc(iocWrite, 0x0C, 1, sizeof(int));
static_assert(ledOff == 0x40040C00 && ledOn == 0x40040C01);

}  // namespace zezarur::device
