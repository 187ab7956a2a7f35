#include "bcm/commands.hpp"

#include <zezarur/adp.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "bcm/records.hpp"
#include "bcm/reports.hpp"

namespace zezarur::bcm {
namespace {

struct Request {
    int needs;
    unsigned long code;
    const char *failure;
};

// Indexed by command id; row 0 is unused.
constexpr std::array<Request, 20> requests{{
    {},
    {3, vlanGet, "ioctl:BCM_IOCTL_VLAN_GET failed"},
    {3, dot1qGet, "ioctl:BCM_IOCTL_8021Q_GET failed"},
    {3, dmzConfig, "ioctl:BCM_IOCTL_DMZ_CONFIG failed"},
    {3, dmzConfig, "ioctl:BCM_IOCTL_DMZ_CONFIG failed"},
    {6, regGet, "ioctl:BCM_IOCTL_REG_GET failed"},
    {4, mibGet, "ioctl:BCM_IOCTL_MIB_GET failed"},
    {4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed"},
    {4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed"},
    {4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed"},
    {4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed"},
    {3, arlGet, "ioctl:BCM_IOCTL_ARL_GET failed"},
    {3, resetMibs, "BCM_IOCTL_RST_MIBS failed"},
    {5, portVlanConfig, "BCM_IOCTL_PORT_VLAN_CONFIG failed"},
    {5, portVlanConfig, "BCM_IOCTL_PORT_VLAN_CONFIG failed"},
    {3, dot1qEnable, "BCM_IOCTL_8021Q_ENABLE failed"},
    {3, dot1qDisable, "BCM_IOCTL_8021Q_DISABLE failed"},
    {3, bpduConfig, "BCM_IOCTL_BPDU_CONFIG failed"},
    {3, bpduConfig, "BCM_IOCTL_BPDU_CONFIG failed"},
    {3, mgmtConfig, "BCM_IOCTL_MGMT_CONFIG failed"},
}};

// Decimal, no error check, cut to the record field's width.
template <typename Field>
Field number(const char *word) {
    return static_cast<Field>(std::strtol(word, nullptr, 10));
}

int issue(int fd, int id, void *record) {
    const Request &r = requests[static_cast<size_t>(id)];
    if (adpIoctl(fd, r.code, record) < 0) {
        std::puts(r.failure);
        return -1;
    }
    return 0;
}

}  // namespace

int argumentsNeeded(int id) { return requests[static_cast<size_t>(id)].needs; }

int perform(int id, int fd, char **argv) {
    switch (id) {
    case 1: {
        PortMap map{};
        if (issue(fd, id, &map) < 0) return -1;
        printPortMap(map);
        return 0;
    }
    case 2: {
        Dot1qState state{};
        if (issue(fd, id, &state) < 0) return -1;
        printDot1q(state);
        return 0;
    }
    case 5: {
        RegRequest reg{number<uint8_t>(argv[3]), number<uint16_t>(argv[4]),
                       number<uint8_t>(argv[5])};
        return issue(fd, id, &reg);
    }
    case 6: {
        MibCounters mib{};
        mib.port = number<uint16_t>(argv[3]);
        if (issue(fd, id, &mib) < 0) return -1;
        printMib(mib);
        return 0;
    }
    case 7:
    case 8:
    case 9:
    case 10: {
        PortConfig config{id - 6, number<int32_t>(argv[3])};  // tx on, tx off, rx on, rx off
        return issue(fd, id, &config);
    }
    case 11: {
        uint64_t entries[arlCapacity];
        ArlRequest arl{reinterpret_cast<uintptr_t>(entries), 0};
        if (issue(fd, id, &arl) < 0) return -1;
        printArl(entries, arl.count);
        return 0;
    }
    case 13:
    case 14: {
        PortVlanConfig config{number<int16_t>(argv[3]), number<int16_t>(argv[4]), id == 13};
        return issue(fd, id, &config);
    }
    case 12:
    case 15:
    case 16: {
        int unused = 0;
        return issue(fd, id, &unused);
    }
    default: {  // dmz on/off, bpdu enable/disable, mgmt disable: one flag
        int32_t on = id == 3 || id == 17;
        return issue(fd, id, &on);
    }
    }
}

}  // namespace zezarur::bcm
