#include "bcm/reports.hpp"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace zezarur::bcm {
namespace {

// The report's order is the record's, except that RxGoodOctets, the record's
// last counter, is printed after RxFcsErrors.
constexpr std::array<MibIndex, mibCount> printOrder = [] {
    std::array<MibIndex, mibCount> order{};
    size_t n = 0;
    for (size_t i = 0; i < mibCount; ++i) {
        if (i == mibRxGoodOctets) continue;
        order[n++] = static_cast<MibIndex>(i);
        if (i == mibRxFcsErrors) order[n++] = mibRxGoodOctets;
    }
    return order;
}();

uint64_t counter(const MibCounters &mib, const MibField &field) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(&mib) + field.offset;
    if (field.width == sizeof(uint64_t)) {
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
    for (MibIndex i : printOrder)
        std::printf("%-20s - %" PRIu64 "\n", mibFields[i].name, counter(mib, mibFields[i]));
    std::puts(starLine);
}

void printArl(const uint64_t (&entries)[arlCapacity], int32_t count) {
    int shown = std::min<int32_t>(count, arlCapacity);
    for (int k = 0; k < shown; ++k)
        std::printf("ARL[%d]: 0x%llx\n", k, static_cast<unsigned long long>(entries[k]));
}

}  // namespace zezarur::bcm
