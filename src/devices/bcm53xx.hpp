// The BCM53xx switch driver on "/dev/bcm53xx", as the bcm command and the
// simulated driver both see it: request codes in the Linux _IOC layout (type
// 'O'), their records (packed, native byte order), the ports each request
// accepts and the MIB counters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/handle.hpp"

namespace zezarur::bcm {

constexpr unsigned long ioc(unsigned dir, unsigned number, size_t size) {
    return zezarur::ioc(dir, 'O', number, static_cast<unsigned>(size));
}
constexpr unsigned noData = iocNone, toDriver = iocWrite, bothWays = iocRead | iocWrite;

// The ports a request names: the forwarding map's 0-8, the MIB counters'
// 0-8 and the gigabit port 11, transmit and receive settings 0-7 and 11.
constexpr int mapPorts = 9;
constexpr std::array<int, 10> mibPorts{0, 1, 2, 3, 4, 5, 6, 7, 8, 11};
constexpr std::array<int, 9> txRxPorts{0, 1, 2, 3, 4, 5, 6, 7, 11};

// Port forwarding map: byte 4 + 9 * i + j is nonzero when port i forwards to j.
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

// The MIB counters after the record's 16-bit port, in record order: the
// driver's name, the record field, its type.  The record, the report and
// the simulated driver's names all come from this one list.
#define ZEZARUR_MIB_COUNTERS(X)                                              \
    X(TxOctets, txOctets, uint64_t)                                          \
    X(TxDropPkts, txDropPkts, uint32_t)                                      \
    X(TxBroadcastPkts, txBroadcastPkts, uint32_t)                            \
    X(TxMulticastPkts, txMulticastPkts, uint32_t)                            \
    X(TxUnicastPkts, txUnicastPkts, uint32_t)                                \
    X(TxCollisions, txCollisions, uint32_t)                                  \
    X(TxSingleCollisions, txSingleCollisions, uint32_t)                      \
    X(TxMultipleCollisions, txMultipleCollisions, uint32_t)                  \
    X(TxDeferredTransmit, txDeferredTransmit, uint32_t)                      \
    X(TxLateCollision, txLateCollision, uint32_t)                            \
    X(TxExcessiveCollision, txExcessiveCollision, uint32_t)                  \
    X(TxFrameInDisc, txFrameInDisc, uint32_t)                                \
    X(TxPausePkts, txPausePkts, uint32_t)                                    \
    X(RxOctets, rxOctets, uint64_t)                                          \
    X(RxUndersizePkts, rxUndersizePkts, uint32_t)                            \
    X(RxPausePkts, rxPausePkts, uint32_t)                                    \
    X(RxOversizePkts, rxOversizePkts, uint32_t)                              \
    X(RxJabbers, rxJabbers, uint32_t)                                        \
    X(RxAlignmentErrors, rxAlignmentErrors, uint32_t)                        \
    X(RxFcsErrors, rxFcsErrors, uint32_t)                                    \
    X(RxDropPkts, rxDropPkts, uint32_t)                                      \
    X(RxUniCastPkts, rxUniCastPkts, uint32_t)                                \
    X(RxMultiCastPkts, rxMultiCastPkts, uint32_t)                            \
    X(RxBroadcastPkts, rxBroadcastPkts, uint32_t)                            \
    X(RxSAChanges, rxSAChanges, uint32_t)                                    \
    X(RxFragments, rxFragments, uint32_t)                                    \
    X(RxExcessSizeDisc, rxExcessSizeDisc, uint32_t)                          \
    X(RxSymbolError, rxSymbolError, uint32_t)                                \
    X(Pkts64Octets, pkts64Octets, uint32_t)                                  \
    X(Pkts65to127Octets, pkts65to127Octets, uint32_t)                        \
    X(Pkts128to255Octets, pkts128to255Octets, uint32_t)                      \
    X(Pkts256to511Octets, pkts256to511Octets, uint32_t)                      \
    X(Pkts512to1023Octets, pkts512to1023Octets, uint32_t)                    \
    X(Pkts1024to1522Octets, pkts1024to1522Octets, uint32_t)                  \
    X(RxGoodOctets, rxGoodOctets, uint64_t)

struct [[gnu::packed]] MibCounters {
    uint16_t port;
#define ZEZARUR_MIB_FIELD(name, field, type) type field;
    ZEZARUR_MIB_COUNTERS(ZEZARUR_MIB_FIELD)
#undef ZEZARUR_MIB_FIELD
};

// A counter's place in the record, by its index in the list.
struct MibField {
    const char *name;
    size_t offset;
    size_t width;
};
inline constexpr MibField mibFields[] = {
#define ZEZARUR_MIB_ROW(name, field, type) {#name, offsetof(MibCounters, field), sizeof(type)},
    ZEZARUR_MIB_COUNTERS(ZEZARUR_MIB_ROW)
#undef ZEZARUR_MIB_ROW
};
enum MibIndex : size_t {
#define ZEZARUR_MIB_INDEX(name, field, type) mib##name,
    ZEZARUR_MIB_COUNTERS(ZEZARUR_MIB_INDEX)
#undef ZEZARUR_MIB_INDEX
    mibCount
};
static_assert(mibCount == 35 && std::size(mibFields) == mibCount);

enum PortOperation : int32_t { txEnable = 1, txDisable = 2, rxEnable = 3, rxDisable = 4 };
struct [[gnu::packed]] PortConfig {
    int32_t operation;
    int32_t port;
};

// The ARL table is copied into the caller's buffer of 255 64-bit entries.
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
