// lscand: keeps the list of the LAN's hosts in /var/lscan_out.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devices/interfaces.hpp"
#include "lscan/files.hpp"
#include "lscan/host_list.hpp"
#include "lscan/pass.hpp"
#include "lscan/sweep.hpp"
#include "platform/decimal.hpp"
#include "platform/owned.hpp"

using namespace zezarur::lscan;

namespace {

// Each line is flushed as it is printed.
constexpr const char *usageLines[] = {"lscand [-r refreshrate]\n",
                                      "refreshrate is in seconds and default is 10 seconds\n"};

using zezarur::device::lanInterface;

// The refresh rate the command line asks for; 0 for bad usage: a first
// argument other than "-r", or a rate below 1, which has no sweep phase.
// A value that is not a whole number of 32 bits gives the default.
int refreshRateArg(int argc, char **argv) {
    if (argc < 2) return defaultRate;
    if (std::strcmp(argv[1], "-r") != 0) return 0;
    if (argc < 3) return defaultRate;
    const zezarur::Decimal rate = zezarur::readDecimal(argv[2]);
    if (!rate.whole) return defaultRate;
    return rate.value > 0 ? rate.value : 0;
}

void writePidFile() {
    if (zezarur::AdpFile f{adpFileOpen(pidPath, "wb+")}) adpFilePrintf(f.get(), "%d \n", static_cast<int>(::getpid()));
}

// The list is empty until the first update has run.
void emptyHostList() {
    zezarur::AdpFile emptied(adpFileOpen(lscanOutPath, "w+"));
}

[[noreturn]] void runPasses(int rate) {
    ifDevInfo lan{};
    int counter = 1;
    for (;;) {
        if (fetchDue(counter)) {
            lan = ifDevInfo{};
            ifDevGet(&lan, 0, lanInterface);
            lan.name[sizeof lan.name - 1] = '\0';
        }
        const Pass pass = passPlan(counter, rate, lan.addr != 0 && lan.netmask != 0);
        if (pass.sweep) lanSweep(lan.addr, lan.netmask);
        if (pass.update) hostListUpdate(lan.name);
        ::sleep(pass.sleepSeconds);
        counter = pass.next;
    }
}

}  // namespace

extern "C" void lscan_usage(void) {
    for (const char *line : usageLines) {
        adpFilePrintf(stderr, "%s", line);
        std::fflush(stderr);
    }
}

extern "C" int lscandMain(int argc, char **argv) {
    const int rate = refreshRateArg(argc, argv);
    if (rate == 0) {
        lscan_usage();
        return 1;
    }
    if (::daemon(0, 0) != 0) return -1;
    writePidFile();
    emptyHostList();
    runPasses(rate);
}
