// The simulated BCM53xx switch's state and its text form, the editable file
// "<sandbox>/switch.state": one "KEY VALUE..." line per setting, '#' starts
// a comment.  A key that is missing keeps its power-on value.
//
//   ports N                   port count the forwarding map reports
//   forward.I J J ...|-       the ports that port I (0-8) forwards to
//   vlanctl.R 0xHH            VLAN control register R (0-5)
//   vid.P N                   VLAN id of port P (0-8), signed 16-bit
//   8021q|dmz|bpdu|mgmt on|off
//   tx.P|rx.P on|off          transmit/receive of port P (0-7, 11)
//   mib.P.NAME N              MIB counter NAME of port P (0-8, 11)
//   arl 0xVALUE               one ARL entry per line, in table order
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "devices/bcm53xx.hpp"

namespace adp::sim::sw {

using zezarur::bcm::mapPorts;
using zezarur::bcm::mibFields;
using zezarur::bcm::mibPorts;
using zezarur::bcm::txRxPorts;
constexpr size_t arlLimit = 4096;

// The slot of a port in mibPorts or txRxPorts; -1 when it has none.
template <size_t N>
int slotOf(const std::array<int, N> &ports, long port) {
    for (size_t i = 0; i < N; ++i)
        if (ports[i] == port) return static_cast<int>(i);
    return -1;
}

struct State {
    int32_t ports = mapPorts;
    bool forward[mapPorts][mapPorts];
    uint8_t vlanControl[6] = {};
    int16_t vlanId[mapPorts];
    bool dot1q = false, dmz = false, bpdu = false, mgmt = true;
    bool tx[txRxPorts.size()], rx[txRxPorts.size()];
    uint64_t mib[mibPorts.size()][zezarur::bcm::mibCount] = {};
    size_t arlCount = 0;
    uint64_t arl[arlLimit];

    State();  // power-on: every port forwards to every other, VLAN 1, all enabled
};

// A whole word as a number within [low, high]; base 0 takes 0x... too.
bool number(const char *word, long long low, unsigned long long high, unsigned long long &out);

// Parses text (NUL-terminated) over the power-on state; false on a line it
// cannot read.
bool parse(State &state, char *text);

// The canonical text; malloc'd, the caller frees it.  Null when out of memory.
char *format(const State &state, size_t &length);

}  // namespace adp::sim::sw
