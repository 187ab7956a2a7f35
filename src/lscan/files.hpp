// Where the daemon leaves its state and the host list for the firmware.
#pragma once

#include <string_view>

namespace zezarur::lscan {

constexpr const char *pidPath = "/var/run/lscand.pid";
constexpr const char *arpOutPath = "/var/arpout";
constexpr const char *nbtOutPath = "/var/nbtout";
constexpr const char *dhcOutPath = "/var/dhcout";
constexpr const char *lscanOutPath = "/var/lscan_out";
constexpr const char *arpTablePath = "/proc/net/arp";

// NetBIOS names of the hosts just written to /var/arpout.
constexpr const char *nbtscanCommand = "nbtscan -qf /var/arpout";
static_assert(std::string_view(nbtscanCommand).ends_with(arpOutPath));
// The firmware's command that turns /var/arpout and /var/nbtout into /var/dhcout.
constexpr const char *dhcpchkCommand = "dhcpchk ";

}  // namespace zezarur::lscan
