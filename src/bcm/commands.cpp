#include "bcm/commands.hpp"

#include <zezarur/adp.h>

#include <cstdio>
#include <cstdlib>

#include "devices/bcm53xx.hpp"
#include "bcm/reports.hpp"

namespace zezarur::bcm {
namespace {

// What a command's request carries and what it reports.
enum class Form { portMap, dot1q, reg, mib, portConfig, arl, portVlan, none, flag };

// One row per command id: the fewest arguments, the request, the text printed
// when it fails, the record's form and the value the record takes from the
// row (port setting, forwarding on/off, flag).
struct Command {
    int id;
    int needs;
    unsigned long code;
    const char *failure;
    Form form;
    int value;
};

constexpr Command commands[] = {
    {1, 3, vlanGet, "ioctl:BCM_IOCTL_VLAN_GET failed", Form::portMap, 0},
    {2, 3, dot1qGet, "ioctl:BCM_IOCTL_8021Q_GET failed", Form::dot1q, 0},
    {3, 3, dmzConfig, "ioctl:BCM_IOCTL_DMZ_CONFIG failed", Form::flag, 1},
    {4, 3, dmzConfig, "ioctl:BCM_IOCTL_DMZ_CONFIG failed", Form::flag, 0},
    {5, 6, regGet, "ioctl:BCM_IOCTL_REG_GET failed", Form::reg, 0},
    {6, 4, mibGet, "ioctl:BCM_IOCTL_MIB_GET failed", Form::mib, 0},
    {7, 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", Form::portConfig, txEnable},
    {8, 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", Form::portConfig, txDisable},
    {9, 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", Form::portConfig, rxEnable},
    {10, 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", Form::portConfig, rxDisable},
    {11, 3, arlGet, "ioctl:BCM_IOCTL_ARL_GET failed", Form::arl, 0},
    {12, 3, resetMibs, "BCM_IOCTL_RST_MIBS failed", Form::none, 0},
    {13, 5, portVlanConfig, "BCM_IOCTL_PORT_VLAN_CONFIG failed", Form::portVlan, 1},
    {14, 5, portVlanConfig, "BCM_IOCTL_PORT_VLAN_CONFIG failed", Form::portVlan, 0},
    {15, 3, dot1qEnable, "BCM_IOCTL_8021Q_ENABLE failed", Form::none, 0},
    {16, 3, dot1qDisable, "BCM_IOCTL_8021Q_DISABLE failed", Form::none, 0},
    {17, 3, bpduConfig, "BCM_IOCTL_BPDU_CONFIG failed", Form::flag, 1},
    {18, 3, bpduConfig, "BCM_IOCTL_BPDU_CONFIG failed", Form::flag, 0},
    {19, 3, mgmtConfig, "BCM_IOCTL_MGMT_CONFIG failed", Form::flag, 0},
};

constexpr bool idsInOrder() {
    int i = 1;
    for (const Command &c : commands)
        if (c.id != i++) return false;
    return i == 20;
}
static_assert(idsInOrder(), "commands[i].id == i + 1 for the 19 ids");

const Command &command(int id) { return commands[static_cast<size_t>(id - 1)]; }

// Decimal, no error check, cut to the record field's width.
template <typename Field>
Field number(const char *word) {
    return static_cast<Field>(std::strtol(word, nullptr, 10));
}

int issue(int fd, const Command &c, void *record) {
    if (adpIoctl(fd, c.code, record) < 0) {
        std::puts(c.failure);
        return -1;
    }
    return 0;
}

}  // namespace

int argumentsNeeded(int id) { return command(id).needs; }

int perform(int id, int fd, char **argv) {
    const Command &c = command(id);
    switch (c.form) {
    case Form::portMap: {
        PortMap map{};
        if (issue(fd, c, &map) < 0) return -1;
        printPortMap(map);
        return 0;
    }
    case Form::dot1q: {
        Dot1qState state{};
        if (issue(fd, c, &state) < 0) return -1;
        printDot1q(state);
        return 0;
    }
    case Form::reg: {
        RegRequest reg{number<uint8_t>(argv[3]), number<uint16_t>(argv[4]),
                       number<uint8_t>(argv[5])};
        return issue(fd, c, &reg);
    }
    case Form::mib: {
        MibCounters mib{};
        mib.port = number<uint16_t>(argv[3]);
        if (issue(fd, c, &mib) < 0) return -1;
        printMib(mib);
        return 0;
    }
    case Form::portConfig: {
        PortConfig config{c.value, number<int32_t>(argv[3])};
        return issue(fd, c, &config);
    }
    case Form::arl: {
        uint64_t entries[arlCapacity];
        ArlRequest arl{reinterpret_cast<uintptr_t>(entries), 0};
        if (issue(fd, c, &arl) < 0) return -1;
        printArl(entries, arl.count);
        return 0;
    }
    case Form::portVlan: {
        PortVlanConfig config{number<int16_t>(argv[3]), number<int16_t>(argv[4]), c.value};
        return issue(fd, c, &config);
    }
    case Form::none: {
        int unused = 0;
        return issue(fd, c, &unused);
    }
    case Form::flag: {
        int32_t on = c.value;
        return issue(fd, c, &on);
    }
    }
    return -1;
}

}  // namespace zezarur::bcm
