// The subnet sweep: one small UDP datagram to every address of the LAN, so
// that the kernel resolves each by ARP and every host that answers becomes a
// complete entry of its ARP table.
#pragma once

#include <cstdint>

namespace zezarur::lscan {

// address and netmask in network order, both non-zero.
void lanSweep(std::uint32_t address, std::uint32_t netmask);

}  // namespace zezarur::lscan
