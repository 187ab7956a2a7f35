// The BCM53xx switch: ports 0-8 and the gigabit port 11, state in
// "<sandbox>/switch.state" (see switch_state.hpp).  Every request is checked
// as the driver would (code, record, ports: EINVAL) and appended to
// "<sandbox>/switch.log" as "CODE RECORD-BYTES-IN-HEX|- ok|ERRNO-NAME".
// "<sandbox>/switch.fault" (switch_file.hpp) makes the next request fail
// with the error it names; it is removed when it fires.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "devices/bcm53xx.hpp"
#include "sim.hpp"
#include "sim_file.hpp"
#include "switch_file.hpp"

namespace adp::sim {
namespace {

namespace bcm = zezarur::bcm;
using sw::State;

// A request's record, copied in and out whole: the caller's may be unaligned.
template <typename Record>
Record in(const unsigned char *bytes) {
    Record r;
    std::memcpy(&r, bytes, sizeof r);
    return r;
}
template <typename Record>
void out(unsigned char *bytes, const Record &r) {
    std::memcpy(bytes, &r, sizeof r);
}

// A request's effect on the state; 0 or the errno to fail with.
struct Effect {
    int error = 0;
    bool changed = false;
};

bool isFlag(int32_t v) { return v == 0 || v == 1; }

Effect setFlag(bool &flag, const unsigned char *record) {
    const auto v = in<int32_t>(record);
    if (!isFlag(v)) return {EINVAL};
    flag = v;
    return {0, true};
}

Effect vlanGet(State &s, unsigned char *r) {
    bcm::PortMap map{};
    map.ports = s.ports;
    for (int i = 0; i < bcm::mapPorts; ++i)
        for (int j = 0; j < bcm::mapPorts; ++j) map.matrix[bcm::mapPorts * i + j] = s.forward[i][j];
    out(r, map);
    return {};
}

// Bit 7 of control register 0 is the chip's 802.1Q enable.
Effect dot1qGet(State &s, unsigned char *r) {
    bcm::Dot1qState state{};
    std::memcpy(state.control, s.vlanControl, sizeof state.control);
    state.control[0] = static_cast<uint8_t>(s.dot1q ? state.control[0] | 0x80 : state.control[0] & 0x7F);
    std::memcpy(state.vlanId, s.vlanId, sizeof state.vlanId);
    out(r, state);
    return {};
}

// The register read itself is not modelled; a real driver prints the value.
Effect regGet(State &, unsigned char *r) {
    const auto reg = in<bcm::RegRequest>(r);
    return {reg.bytes >= 1 && reg.bytes <= 8 ? 0 : EINVAL};
}

Effect mibGet(State &s, unsigned char *r) {
    auto mib = in<bcm::MibCounters>(r);
    int slot = sw::slotOf(bcm::mibPorts, mib.port);
    if (slot < 0) return {EINVAL};
    auto *bytes = reinterpret_cast<unsigned char *>(&mib);
    for (size_t f = 0; f < bcm::mibCount; ++f) {
        const bcm::MibField &m = bcm::mibFields[f];
        const uint64_t v = s.mib[slot][f];
        const uint32_t low = static_cast<uint32_t>(v);  // a 32-bit counter wraps
        std::memcpy(bytes + m.offset, m.width == sizeof v ? static_cast<const void *>(&v) : &low, m.width);
    }
    out(r, mib);
    return {};
}

Effect portConfig(State &s, unsigned char *r) {
    const auto config = in<bcm::PortConfig>(r);
    int slot = sw::slotOf(bcm::txRxPorts, config.port);
    if (config.operation < bcm::txEnable || config.operation > bcm::rxDisable || slot < 0)
        return {EINVAL};
    (config.operation <= bcm::txDisable ? s.tx : s.rx)[slot] = config.operation % 2 == 1;
    return {0, true};
}

// A longer table is counted in full, but only the entries the caller's
// buffer holds are written.
Effect arlGet(State &s, unsigned char *r) {
    auto arl = in<bcm::ArlRequest>(r);
    auto *buffer = reinterpret_cast<unsigned char *>(arl.buffer);
    if (!buffer) return {EFAULT};
    size_t n = std::min<size_t>(s.arlCount, bcm::arlCapacity);
    std::memcpy(buffer, s.arl, n * sizeof s.arl[0]);
    arl.count = static_cast<int32_t>(s.arlCount);
    out(r, arl);
    return {};
}

Effect resetMibs(State &s, unsigned char *) {
    std::memset(s.mib, 0, sizeof s.mib);
    return {0, true};
}

Effect portVlanConfig(State &s, unsigned char *r) {
    const auto c = in<bcm::PortVlanConfig>(r);
    if (c.port < 0 || c.port >= bcm::mapPorts || c.egressPort < 0 ||
        c.egressPort >= bcm::mapPorts || !isFlag(c.forward))
        return {EINVAL};
    s.forward[c.port][c.egressPort] = c.forward;
    return {0, true};
}

Effect dmzConfig(State &s, unsigned char *r) { return setFlag(s.dmz, r); }
Effect mgmtConfig(State &s, unsigned char *r) { return setFlag(s.mgmt, r); }
Effect bpduConfig(State &s, unsigned char *r) { return setFlag(s.bpdu, r); }
Effect dot1qEnable(State &s, unsigned char *) { return s.dot1q = true, Effect{0, true}; }
Effect dot1qDisable(State &s, unsigned char *) { return s.dot1q = false, Effect{0, true}; }

struct Request {
    unsigned long code;  // _IOC: the record size is in bits 29-16
    Effect (*apply)(State &, unsigned char *);
    size_t size() const { return code >> 16 & 0x3FFF; }
};

constexpr Request requests[] = {
    {bcm::vlanGet, vlanGet},       {bcm::dmzConfig, dmzConfig},
    {bcm::dot1qGet, dot1qGet},     {bcm::regGet, regGet},
    {bcm::mibGet, mibGet},         {bcm::portConfig, portConfig},
    {bcm::arlGet, arlGet},         {bcm::resetMibs, resetMibs},
    {bcm::mgmtConfig, mgmtConfig}, {bcm::bpduConfig, bpduConfig},
    {bcm::portVlanConfig, portVlanConfig}, {bcm::dot1qEnable, dot1qEnable},
    {bcm::dot1qDisable, dot1qDisable},
};

const Request *find(unsigned long code) {
    for (const Request &r : requests)
        if (r.code == code) return &r;
    return nullptr;
}

void logRequest(unsigned long code, const unsigned char *record, size_t size,
                const sw::Failure &result) {
    char line[1024];  // records are at most 154 bytes
    int len = std::snprintf(line, sizeof line, "0x%08lX ", code);
    for (size_t i = 0; i < size && static_cast<size_t>(len) < sizeof line - 64; ++i)
        len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), "%02x", record[i]);
    len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), "%s %s\n",
                         size ? "" : "-", result.name);
    appendLine("switch.log", line, static_cast<size_t>(len));
}

int switchIoctl(int, unsigned long code, void *record) {
    sw::StateFile file;
    const Request *r = find(code);
    size_t size = r ? r->size() : 0;
    if (r && size && !record) {
        logRequest(code, nullptr, 0, sw::failure(EFAULT));
        return refuse(EFAULT);
    }
    auto *bytes = static_cast<unsigned char *>(record);
    unsigned char in[256];
    if (size) std::memcpy(in, bytes, size);

    sw::Failure result = sw::takeFault();
    State state;
    if (!result.error) {
        Effect e = !r ? Effect{EINVAL} : !file.read(state) ? Effect{EIO} : r->apply(state, bytes);
        int error = e.error ? e.error : e.changed && !file.write(state) ? EIO : 0;
        if (error) result = sw::failure(error);
    }
    logRequest(code, in, size, result);
    return result.error ? refuse(result.error) : 0;
}

}  // namespace

const Driver switchDriver{switchIoctl, nullptr};

}  // namespace adp::sim
