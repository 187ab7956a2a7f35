// fReset: waits in the background for a factory-default press, then flashes
// the Test LED, restores the default configuration and reboots.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <syslog.h>
#include <unistd.h>

#include "devices/signals.hpp"
#include "platform/handle.hpp"

using zezarur::closeHandle;

int fac_driver_handle = -1;
int fac_custom_driver_handle = -1;

namespace {

constexpr const char *facDevice = "/dev/fac_dev";
constexpr int flashCycles = 20;
constexpr useconds_t darkPhase = 50000;

// Runs the firmware's command line; negative when it did not succeed.
int run(const char *command) { return adpCmdExec(command, nullptr, 0); }

// Twenty short dark phases of the Test LED; the result is that of the last
// switch-on, which leaves the LED lit.
int flashTestLed() {
    int lit = 0;
    for (int i = 0; i < flashCycles; ++i) {
        run("ledTog 0 4");
        usleep(darkPhase);
        lit = run("ledTog 1 4");
    }
    return lit;
}

}  // namespace

extern "C" int fResetMain(int, char **) {
    if (zezarur::openOnce(fac_driver_handle, facDevice, zezarur::openReadOnly) < 0) {
        syslog(LOG_INFO, "can't open device %s\n", facDevice);
        return -1;
    }
    if (daemon(1, 1) != 0) return -1;

    int press = 0;
    if (adpIoctl(fac_driver_handle, zezarur::device::facCheckPress, &press) != 0) {
        syslog(LOG_INFO, "failed to check factory default press\n");
        return -1;
    }
    // The configuration is restored only once the Test LED is lit again.
    if (flashTestLed() < 0) return -1;

    int restored = run("cfg R");
    syslog(LOG_INFO, "Now doing factory defaults\n");
    if (restored < 0) return -1;
    if (run("reboot") < 0) return -1;

    closeHandle(fac_driver_handle);
    closeHandle(fac_custom_driver_handle);
    return 0;
}
