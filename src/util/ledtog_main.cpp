// ledTog STATE LED: switch one front-panel LED on or off.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <unistd.h>

#include "devices/leds.hpp"
#include "platform/decimal.hpp"
#include "platform/handle.hpp"

int led_driver_handle = -1;

namespace {

constexpr char usage[] =
    "Usage: ledToggle <ledState> <ledNumber>\n"
    "\tledState  : 1-ON 0-OFF\n"
    "\tledNumber : 1-DMZ 2-WAN1 3-WAN2 4-Test\n"
    "\n";

constexpr const char *metalogPid = "/var/run/metalog.pid";
constexpr int testLed = 4;

}  // namespace

extern "C" int ledTogMain(int argc, char **argv) {
    if (argc < 3 || !argv[1] || !argv[2]) {
        std::fputs(usage, stdout);
        return -1;
    }
    // Out-of-range words saturate, never wrapping into a valid LED or state.
    int led = zezarur::decimal(argv[2]);
    int state = zezarur::decimal(argv[1]);
    if (argc != 3 || led == 0 || static_cast<unsigned>(state) > 1 ||
        static_cast<unsigned>(led) > zezarur::device::ledCount) {
        std::fputs(usage, stdout);
        return -1;
    }

    if (zezarur::openOnce(led_driver_handle, "/dev/led_dev", zezarur::openReadOnly) < 0) {
        std::puts("can't open device led_dev");
        return -1;
    }

    if (state == 0) {
        std::printf("toggle led %d to OFF\n", led);
        adpIoctl(led_driver_handle, zezarur::device::ledOff, &led);
        // Switching the Test LED off returns only once the system logger runs.
        if (led == testLed)
            while (access(metalogPid, F_OK) != 0) sleep(2);
    } else {
        std::printf("toggle led %d to ON\n", led);
        adpIoctl(led_driver_handle, zezarur::device::ledOn, &led);
    }

    zezarur::closeHandle(led_driver_handle);
    return 0;
}
