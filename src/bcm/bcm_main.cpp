// bcm WORD WORD [NUMBERS]: one request to the switch driver and its report.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstring>

#include "bcm/commands.hpp"
#include "bcm/reports.hpp"
#include "platform/handle.hpp"
#include "platform/owned.hpp"
#include "platform/report.hpp"

namespace {

// Each line follows the name the command was run as.
constexpr const char *usageLines[] = {
    "vlan show",
    "8021q show",
    "dmz on/off",
    "arl get",
    "reg show [page] [addr] [bytes]",
    "mib get [portnum(0-8)(11-gigeport)]",
    "tx/rx enable/disable [portnum(0-7)(11-gigeport)]",
    "portvlan fwdenable/fwddisable [port] [egressport]",
    "reset mibs",
    "8021q enable",
    "8021q disable",
    "bpdu enable",
    "bpdu disable",
    "mgmt disable",
};

void bcmUsage(const char *name) {
    std::puts(zezarur::bcm::starLine);
    std::puts("Usage:");
    for (const char *line : usageLines) std::printf("%s %s\n", name, line);
    std::puts(zezarur::bcm::starLine);
}

}  // namespace

// Sized by the public header's declaration; commands.cpp checks that the list fills it.
extern "C" const struct bcmCmd cmds[] = {
#define ZEZARUR_BCM_ROW(id, verb, object, ...) {id, verb, object},
    ZEZARUR_BCM_COMMANDS(ZEZARUR_BCM_ROW)
#undef ZEZARUR_BCM_ROW
};

namespace {

const bcmCmd *selectRow(const char *verb, const char *object) {
    for (const bcmCmd &row : cmds)
        if (std::strcmp(row.verb, verb) == 0 && std::strcmp(row.object, object) == 0)
            return &row;
    return nullptr;
}

}  // namespace

extern "C" int bcmMain(int argc, char **argv) {
    const char *name = argc > 0 && argv[0] ? argv[0] : "bcm";
    const bcmCmd *row = argc > 2 ? selectRow(argv[1], argv[2]) : nullptr;
    if (!row) {
        bcmUsage(name);
        return -1;
    }
    zezarur::AdpFd fd(adpOpen("/dev/bcm53xx", zezarur::openReadOnly, 0));
    if (fd.get() == -1) {
        zezarur::report("unable to open /dev/bcm53xx");
        return -1;
    }
    if (argc < zezarur::bcm::argumentsNeeded(row->id)) {
        bcmUsage(name);
        return -1;
    }
    return zezarur::bcm::perform(row->id, fd.get(), argv);
}
