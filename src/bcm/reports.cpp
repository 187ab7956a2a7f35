#include "bcm/reports.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace zezarur::bcm {
namespace {

struct MibLine {
    const char *name;
    size_t offset;
    size_t width;
};

#define MIB_LINE(name, field) \
    MibLine { name, offsetof(MibCounters, field), sizeof MibCounters::field }

// Printing order; RxGoodOctets, the record's last field, follows RxFcsErrors.
constexpr MibLine mibLines[] = {
    MIB_LINE("TxOctets", txOctets),
    MIB_LINE("TxDropPkts", txDropPkts),
    MIB_LINE("TxBroadcastPkts", txBroadcastPkts),
    MIB_LINE("TxMulticastPkts", txMulticastPkts),
    MIB_LINE("TxUnicastPkts", txUnicastPkts),
    MIB_LINE("TxCollisions", txCollisions),
    MIB_LINE("TxSingleCollisions", txSingleCollisions),
    MIB_LINE("TxMultipleCollisions", txMultipleCollisions),
    MIB_LINE("TxDeferredTransmit", txDeferredTransmit),
    MIB_LINE("TxLateCollision", txLateCollision),
    MIB_LINE("TxExcessiveCollision", txExcessiveCollision),
    MIB_LINE("TxFrameInDisc", txFrameInDisc),
    MIB_LINE("TxPausePkts", txPausePkts),
    MIB_LINE("RxOctets", rxOctets),
    MIB_LINE("RxUndersizePkts", rxUndersizePkts),
    MIB_LINE("RxPausePkts", rxPausePkts),
    MIB_LINE("RxOversizePkts", rxOversizePkts),
    MIB_LINE("RxJabbers", rxJabbers),
    MIB_LINE("RxAlignmentErrors", rxAlignmentErrors),
    MIB_LINE("RxFcsErrors", rxFcsErrors),
    MIB_LINE("RxGoodOctets", rxGoodOctets),
    MIB_LINE("RxDropPkts", rxDropPkts),
    MIB_LINE("RxUniCastPkts", rxUniCastPkts),
    MIB_LINE("RxMultiCastPkts", rxMultiCastPkts),
    MIB_LINE("RxBroadcastPkts", rxBroadcastPkts),
    MIB_LINE("RxSAChanges", rxSAChanges),
    MIB_LINE("RxFragments", rxFragments),
    MIB_LINE("RxExcessSizeDisc", rxExcessSizeDisc),
    MIB_LINE("RxSymbolError", rxSymbolError),
    MIB_LINE("Pkts64Octets", pkts64Octets),
    MIB_LINE("Pkts65to127Octets", pkts65to127Octets),
    MIB_LINE("Pkts128to255Octets", pkts128to255Octets),
    MIB_LINE("Pkts256to511Octets", pkts256to511Octets),
    MIB_LINE("Pkts512to1023Octets", pkts512to1023Octets),
    MIB_LINE("Pkts1024to1522Octets", pkts1024to1522Octets),
};
#undef MIB_LINE
static_assert(std::size(mibLines) == 35);

uint64_t counter(const MibCounters &mib, const MibLine &line) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(&mib) + line.offset;
    if (line.width == sizeof(uint64_t)) {
        uint64_t v;
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

}  // namespace

void printPortMap(const PortMap &map) {
    int ports = std::min<int32_t>(map.ports, mapPorts);
    for (int i = 0; i < ports; ++i) {
        std::printf("port%d forwarding to ", i);
        for (int j = 0; j < ports; ++j)
            if (j != i && map.matrix[mapPorts * i + j]) std::printf("%d ", j);
        std::printf("\n");
    }
}

void printDot1q(const Dot1qState &state) {
    for (int r = 0; r < 6; ++r)
        std::printf("VLAN Control Register %d: 0x%01X\n", r, state.control[r]);
    for (int p = 0; p < mapPorts; ++p) {
        int16_t id;
        std::memcpy(&id, reinterpret_cast<const unsigned char *>(&state) +
                             offsetof(Dot1qState, vlanId) + sizeof id * static_cast<size_t>(p),
                    sizeof id);
        std::printf("port%d vlan id: 0x%02X\n", p, static_cast<unsigned>(int{id}));
    }
}

void printMib(const MibCounters &mib) {
    std::printf("Mib counters for port%d\n", int{mib.port});
    std::puts(starLine);
    for (const MibLine &line : mibLines)
        std::printf("%-20s - %" PRIu64 "\n", line.name, counter(mib, line));
    std::puts(starLine);
}

void printArl(const uint64_t (&entries)[arlCapacity], int32_t count) {
    int shown = std::min<int32_t>(count, arlCapacity);
    for (int k = 0; k < shown; ++k)
        std::printf("ARL[%d]: 0x%llx\n", k, static_cast<unsigned long long>(entries[k]));
}

}  // namespace zezarur::bcm
