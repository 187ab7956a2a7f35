// The switch driver's requests on "/dev/bcm53xx": codes in the Linux _IOC
// layout (type 'O') and their records, packed, in native byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/handle.hpp"

namespace zezarur::bcm {

constexpr unsigned long ioc(unsigned dir, unsigned number, size_t size) {
    return zezarur::ioc(dir, 'O', number, static_cast<unsigned>(size));
}
constexpr unsigned noData = iocNone, toDriver = iocWrite, bothWays = iocRead | iocWrite;

// Port forwarding map: byte 4 + 9 * i + j is nonzero when port i forwards to j.
constexpr int mapPorts = 9;
struct [[gnu::packed]] PortMap {
    int32_t ports;
    uint8_t matrix[mapPorts * mapPorts];
};

struct [[gnu::packed]] Dot1qState {
    uint8_t control[6];
    int16_t vlanId[mapPorts];
};

// Reads a switch register; the driver reports the value itself.
struct [[gnu::packed]] RegRequest {
    uint8_t page;
    uint16_t address;
    uint8_t bytes;
};

struct [[gnu::packed]] MibCounters {
    uint16_t port;
    uint64_t txOctets;
    uint32_t txDropPkts, txBroadcastPkts, txMulticastPkts, txUnicastPkts, txCollisions,
        txSingleCollisions, txMultipleCollisions, txDeferredTransmit, txLateCollision,
        txExcessiveCollision, txFrameInDisc, txPausePkts;
    uint64_t rxOctets;
    uint32_t rxUndersizePkts, rxPausePkts, rxOversizePkts, rxJabbers, rxAlignmentErrors,
        rxFcsErrors, rxDropPkts, rxUniCastPkts, rxMultiCastPkts, rxBroadcastPkts, rxSAChanges,
        rxFragments, rxExcessSizeDisc, rxSymbolError, pkts64Octets, pkts65to127Octets,
        pkts128to255Octets, pkts256to511Octets, pkts512to1023Octets, pkts1024to1522Octets;
    uint64_t rxGoodOctets;
};

enum PortOperation : int32_t { txEnable = 1, txDisable = 2, rxEnable = 3, rxDisable = 4 };
struct [[gnu::packed]] PortConfig {
    int32_t operation;
    int32_t port;
};

// The buffer address is as wide as a pointer: 32 bits on the router, 64 on a
// 64-bit host, whose driver (the simulated one) takes the wider record.
constexpr int arlCapacity = 255;
struct [[gnu::packed]] ArlRequest {
    uintptr_t buffer;
    int32_t count;
};

struct [[gnu::packed]] PortVlanConfig {
    int16_t port;
    int16_t egressPort;
    int32_t forward;
};

constexpr unsigned long vlanGet = ioc(bothWays, 1, sizeof(PortMap));
constexpr unsigned long dmzConfig = ioc(toDriver, 2, sizeof(int32_t));
constexpr unsigned long dot1qGet = ioc(bothWays, 3, sizeof(Dot1qState));
constexpr unsigned long regGet = ioc(toDriver, 4, sizeof(RegRequest));
constexpr unsigned long mibGet = ioc(bothWays, 5, sizeof(MibCounters));
constexpr unsigned long portConfig = ioc(bothWays, 6, sizeof(PortConfig));
constexpr unsigned long arlGet = ioc(bothWays, 7, sizeof(ArlRequest));
constexpr unsigned long resetMibs = ioc(noData, 9, 0);
constexpr unsigned long mgmtConfig = ioc(toDriver, 10, sizeof(int32_t));
constexpr unsigned long bpduConfig = ioc(bothWays, 17, sizeof(int32_t));
constexpr unsigned long portVlanConfig = ioc(bothWays, 20, sizeof(PortVlanConfig));
constexpr unsigned long dot1qEnable = ioc(noData, 21, 0);
constexpr unsigned long dot1qDisable = ioc(noData, 22, 0);

static_assert(sizeof(PortMap) == 85 && offsetof(PortMap, matrix) == 4);
static_assert(sizeof(Dot1qState) == 24 && offsetof(Dot1qState, vlanId) == 6);
static_assert(sizeof(RegRequest) == 4 && offsetof(RegRequest, address) == 1 &&
              offsetof(RegRequest, bytes) == 3);
static_assert(sizeof(MibCounters) == 154 && offsetof(MibCounters, txOctets) == 2 &&
              offsetof(MibCounters, txDropPkts) == 10 && offsetof(MibCounters, txPausePkts) == 54 &&
              offsetof(MibCounters, rxOctets) == 58 && offsetof(MibCounters, rxUndersizePkts) == 66 &&
              offsetof(MibCounters, rxSymbolError) == 118 &&
              offsetof(MibCounters, pkts64Octets) == 122 &&
              offsetof(MibCounters, pkts1024to1522Octets) == 142 &&
              offsetof(MibCounters, rxGoodOctets) == 146);
static_assert(sizeof(PortConfig) == 8 && offsetof(PortConfig, port) == 4);
static_assert(sizeof(ArlRequest) == sizeof(void *) + 4 && offsetof(ArlRequest, count) == sizeof(void *));
static_assert(sizeof(PortVlanConfig) == 8 && offsetof(PortVlanConfig, egressPort) == 2 &&
              offsetof(PortVlanConfig, forward) == 4);

static_assert(vlanGet == 0xC0554F01 && dmzConfig == 0x40044F02 && dot1qGet == 0xC0184F03 &&
              regGet == 0x40044F04 && mibGet == 0xC09A4F05 && portConfig == 0xC0084F06 &&
              resetMibs == 0x00004F09 && mgmtConfig == 0x40044F0A && bpduConfig == 0xC0044F11 &&
              portVlanConfig == 0xC0084F14 && dot1qEnable == 0x00004F15 &&
              dot1qDisable == 0x00004F16);
static_assert(sizeof(void *) != 4 || arlGet == 0xC0084F07);

}  // namespace zezarur::bcm
