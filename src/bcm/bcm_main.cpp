// bcm WORD WORD [NUMBERS]: one request to the switch driver and its report.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstring>

#include "bcm/commands.hpp"
#include "platform/handle.hpp"
#include "bcm/reports.hpp"

extern "C" const struct bcmCmd cmds[19] = {
    {1, "vlan", "show"},
    {2, "8021q", "show"},
    {3, "dmz", "on"},
    {4, "dmz", "off"},
    {5, "reg", "show"},
    {6, "mib", "get"},
    {7, "tx", "enable"},
    {8, "tx", "disable"},
    {9, "rx", "enable"},
    {10, "rx", "disable"},
    {11, "arl", "get"},
    {12, "reset", "mibs"},
    {13, "portvlan", "fwdenable"},
    {14, "portvlan", "fwddisable"},
    {15, "8021q", "enable"},
    {16, "8021q", "disable"},
    {17, "bpdu", "enable"},
    {18, "bpdu", "disable"},
    {19, "mgmt", "disable"},
};

namespace {

void bcmUsage(const char *name) {
    std::puts(zezarur::bcm::starLine);
    std::puts("Usage:");
    std::printf("%s vlan show\n", name);
    std::printf("%s 8021q show\n", name);
    std::printf("%s dmz on/off\n", name);
    std::printf("%s arl get\n", name);
    std::printf("%s reg show [page] [addr] [bytes]\n", name);
    std::printf("%s mib get [portnum(0-8)(11-gigeport)]\n", name);
    std::printf("%s tx/rx enable/disable [portnum(0-7)(11-gigeport)]\n", name);
    std::printf("%s portvlan fwdenable/fwddisable [port] [egressport]\n", name);
    std::printf("%s reset mibs\n", name);
    std::printf("%s 8021q enable\n", name);
    std::printf("%s 8021q disable\n", name);
    std::printf("%s bpdu enable\n", name);
    std::printf("%s bpdu disable\n", name);
    std::printf("%s mgmt disable\n", name);
    std::puts(zezarur::bcm::starLine);
}

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
        std::perror("unable to open /dev/bcm53xx");
        return -1;
    }
    if (argc < zezarur::bcm::argumentsNeeded(row->id)) {
        bcmUsage(name);
        return -1;
    }
    return zezarur::bcm::perform(row->id, fd.get(), argv);
}
