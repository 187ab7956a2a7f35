// The bcm command table, one row per command: the exported `cmds` and the
// request each row makes both come from this list.
#pragma once

// X(id, verb, object, fewest arguments with the name and the two words,
//   request, failure text, record form, value the record takes from the row:
//   port setting, forwarding on/off or flag)
#define ZEZARUR_BCM_COMMANDS(X)                                                                   \
    X(1, "vlan", "show", 3, vlanGet, "ioctl:BCM_IOCTL_VLAN_GET failed", portMap, 0)              \
    X(2, "8021q", "show", 3, dot1qGet, "ioctl:BCM_IOCTL_8021Q_GET failed", dot1q, 0)             \
    X(3, "dmz", "on", 3, dmzConfig, "ioctl:BCM_IOCTL_DMZ_CONFIG failed", flag, 1)                \
    X(4, "dmz", "off", 3, dmzConfig, "ioctl:BCM_IOCTL_DMZ_CONFIG failed", flag, 0)               \
    X(5, "reg", "show", 6, regGet, "ioctl:BCM_IOCTL_REG_GET failed", reg, 0)                     \
    X(6, "mib", "get", 4, mibGet, "ioctl:BCM_IOCTL_MIB_GET failed", mib, 0)                      \
    X(7, "tx", "enable", 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", port, txEnable)    \
    X(8, "tx", "disable", 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", port, txDisable)  \
    X(9, "rx", "enable", 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", port, rxEnable)    \
    X(10, "rx", "disable", 4, portConfig, "ioctl:BCM_IOCTL_PORT_CONFIG failed", port, rxDisable) \
    X(11, "arl", "get", 3, arlGet, "ioctl:BCM_IOCTL_ARL_GET failed", arl, 0)                     \
    X(12, "reset", "mibs", 3, resetMibs, "BCM_IOCTL_RST_MIBS failed", none, 0)                   \
    X(13, "portvlan", "fwdenable", 5, portVlanConfig, "BCM_IOCTL_PORT_VLAN_CONFIG failed", portVlan, 1) \
    X(14, "portvlan", "fwddisable", 5, portVlanConfig, "BCM_IOCTL_PORT_VLAN_CONFIG failed", portVlan, 0) \
    X(15, "8021q", "enable", 3, dot1qEnable, "BCM_IOCTL_8021Q_ENABLE failed", none, 0)           \
    X(16, "8021q", "disable", 3, dot1qDisable, "BCM_IOCTL_8021Q_DISABLE failed", none, 0)        \
    X(17, "bpdu", "enable", 3, bpduConfig, "BCM_IOCTL_BPDU_CONFIG failed", flag, 1)              \
    X(18, "bpdu", "disable", 3, bpduConfig, "BCM_IOCTL_BPDU_CONFIG failed", flag, 0)             \
    X(19, "mgmt", "disable", 3, mgmtConfig, "BCM_IOCTL_MGMT_CONFIG failed", flag, 0)

namespace zezarur::bcm {

// The fewest arguments (with the name and the two words) command `id` takes.
int argumentsNeeded(int id);

// Fills the record from argv, issues the request on fd and prints the report
// or the failure message; 0 when the request succeeded, else -1.
int perform(int id, int fd, char **argv);

}  // namespace zezarur::bcm
