// The host-list update: ARP entries, NetBIOS names, the firmware's dhcpchk,
// and the list moved into place whole.
#pragma once

namespace zezarur::lscan {

void hostListUpdate(const char *lanName);

}  // namespace zezarur::lscan
