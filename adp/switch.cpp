// The BCM53xx switch: ports 0-8 and the gigabit port 11, state in
// "<sandbox>/switch.state" (see switch_state.hpp).  Every request is checked
// as the driver would (code, record, ports: EINVAL) and appended to
// "<sandbox>/switch.log" as "CODE RECORD-BYTES-IN-HEX|- ok|ERRNO-NAME".
// "<sandbox>/switch.fault", holding an errno number and its name, makes the
// next request fail with that error; it is removed when it fires. (The name
// comes with the number, as not every C library can name an errno.)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "sim.hpp"
#include "sim_file.hpp"
#include "switch_state.hpp"

namespace adp::sim {
namespace {

using sw::State;

template <typename T>
T load(const unsigned char *record, size_t offset) {
    T v;
    std::memcpy(&v, record + offset, sizeof v);
    return v;
}

template <typename T>
void store(unsigned char *record, size_t offset, T v) {
    std::memcpy(record + offset, &v, sizeof v);
}

// A request's effect on the state; 0 or the errno to fail with.
struct Effect {
    int error = 0;
    bool changed = false;
};

bool isFlag(int32_t v) { return v == 0 || v == 1; }

Effect setFlag(bool &flag, const unsigned char *record) {
    int32_t v = load<int32_t>(record, 0);
    if (!isFlag(v)) return {EINVAL};
    flag = v;
    return {0, true};
}

Effect vlanGet(State &s, unsigned char *r) {
    store(r, 0, s.ports);
    for (int i = 0; i < sw::mapPorts; ++i)
        for (int j = 0; j < sw::mapPorts; ++j) r[4 + sw::mapPorts * i + j] = s.forward[i][j];
    return {};
}

// Bit 7 of control register 0 is the chip's 802.1Q enable.
Effect dot1qGet(State &s, unsigned char *r) {
    std::memcpy(r, s.vlanControl, sizeof s.vlanControl);
    r[0] = static_cast<unsigned char>(s.dot1q ? r[0] | 0x80 : r[0] & 0x7F);
    for (size_t p = 0; p < sw::mapPorts; ++p) store(r, 6 + 2 * p, s.vlanId[p]);
    return {};
}

// The register read itself is not modelled; a real driver prints the value.
Effect regGet(State &, unsigned char *r) {
    uint8_t bytes = r[3];
    return {bytes >= 1 && bytes <= 8 ? 0 : EINVAL};
}

Effect mibGet(State &s, unsigned char *r) {
    int slot = sw::slotOf(sw::mibPorts, load<uint16_t>(r, 0));
    if (slot < 0) return {EINVAL};
    for (size_t f = 0; f < sw::mibFields.size(); ++f) {
        const sw::MibField &m = sw::mibFields[f];
        uint64_t v = s.mib[slot][f];
        if (m.width == 8)
            store(r, m.offset, v);
        else
            store(r, m.offset, static_cast<uint32_t>(v));  // a 32-bit counter wraps
    }
    return {};
}

Effect portConfig(State &s, unsigned char *r) {
    int32_t op = load<int32_t>(r, 0);
    int slot = sw::slotOf(sw::txRxPorts, load<int32_t>(r, 4));
    if (op < 1 || op > 4 || slot < 0) return {EINVAL};
    (op <= 2 ? s.tx : s.rx)[slot] = op % 2 == 1;
    return {0, true};
}

// The caller's buffer holds 255 entries; a longer table is counted in full
// but only its first 255 entries are written.
constexpr size_t arlBuffer = 255;
Effect arlGet(State &s, unsigned char *r) {
    auto *buffer = reinterpret_cast<unsigned char *>(load<uintptr_t>(r, 0));
    if (!buffer) return {EFAULT};
    size_t n = s.arlCount < arlBuffer ? s.arlCount : arlBuffer;
    std::memcpy(buffer, s.arl, n * sizeof s.arl[0]);
    store(r, sizeof(uintptr_t), static_cast<int32_t>(s.arlCount));
    return {};
}

Effect resetMibs(State &s, unsigned char *) {
    std::memset(s.mib, 0, sizeof s.mib);
    return {0, true};
}

Effect portVlanConfig(State &s, unsigned char *r) {
    int16_t port = load<int16_t>(r, 0), egress = load<int16_t>(r, 2);
    int32_t forward = load<int32_t>(r, 4);
    if (port < 0 || port >= sw::mapPorts || egress < 0 || egress >= sw::mapPorts || !isFlag(forward))
        return {EINVAL};
    s.forward[port][egress] = forward;
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

// The ARL record carries a pointer, so its size (and code) follow the host.
constexpr unsigned long arlCode = 0xC0004F07 | (sizeof(uintptr_t) + 4) << 16;
constexpr Request requests[] = {
    {0xC0554F01, vlanGet},    {0x40044F02, dmzConfig},      {0xC0184F03, dot1qGet},
    {0x40044F04, regGet},     {0xC09A4F05, mibGet},         {0xC0084F06, portConfig},
    {arlCode, arlGet},        {0x00004F09, resetMibs},      {0x40044F0A, mgmtConfig},
    {0xC0044F11, bpduConfig}, {0xC0084F14, portVlanConfig}, {0x00004F15, dot1qEnable},
    {0x00004F16, dot1qDisable},
};

const Request *find(unsigned long code) {
    for (const Request &r : requests)
        if (r.code == code) return &r;
    return nullptr;
}

// The state file, locked while it is open, read whole.
class StateFile {
public:
    bool read(State &s) const {
        struct stat st;
        if (!file_.valid() || ::fstat(file_.fd(), &st) != 0) return false;
        size_t size = static_cast<size_t>(st.st_size);
        char *text = static_cast<char *>(std::malloc(size + 1));
        if (!text) return false;
        bool ok = ::pread(file_.fd(), text, size, 0) == static_cast<ssize_t>(size);
        text[ok ? size : 0] = '\0';
        ok = ok && sw::parse(s, text);
        std::free(text);
        return ok;
    }

    bool write(const State &s) const {
        size_t length;
        char *text = sw::format(s, length);
        bool ok = text && file_.replace(text, length);
        std::free(text);
        return ok;
    }

private:
    LockedFile file_{"switch.state", true};
};

// A failed request's errno and the name the log gives it.
struct Failure {
    int error = 0;
    char name[32] = "ok";
};

Failure failure(int error) {
    Failure f{error};
    std::snprintf(f.name, sizeof f.name, "%s",
                  error == EINVAL ? "EINVAL" : error == EFAULT ? "EFAULT" : "EIO");
    return f;
}

// The injected error, taken once; error 0 when none is set.
Failure takeFault() {
    char p[PATH_MAX];
    Failure fault;
    if (!path(p, "switch.fault")) return fault;
    FILE *f = std::fopen(p, "re");
    if (!f) return fault;
    if (std::fscanf(f, "%d %31s", &fault.error, fault.name) != 2 || fault.error <= 0)
        fault = failure(EIO);
    std::fclose(f);
    ::unlink(p);
    return fault;
}

void logRequest(unsigned long code, const unsigned char *record, size_t size, const Failure &result) {
    char line[1024];  // records are at most 154 bytes
    int len = std::snprintf(line, sizeof line, "0x%08lX ", code);
    for (size_t i = 0; i < size && static_cast<size_t>(len) < sizeof line - 64; ++i)
        len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), "%02x", record[i]);
    len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), "%s %s\n",
                         size ? "" : "-", result.name);
    appendLine("switch.log", line, static_cast<size_t>(len));
}

int switchIoctl(int, unsigned long code, void *record) {
    StateFile file;
    const Request *r = find(code);
    size_t size = r ? r->size() : 0;
    if (r && size && !record) {
        logRequest(code, nullptr, 0, failure(EFAULT));
        return refuse(EFAULT);
    }
    auto *bytes = static_cast<unsigned char *>(record);
    unsigned char in[256];
    if (size) std::memcpy(in, bytes, size);

    Failure result = takeFault();
    State state;
    if (!result.error) {
        Effect e = !r ? Effect{EINVAL} : !file.read(state) ? Effect{EIO} : r->apply(state, bytes);
        int error = e.error ? e.error : e.changed && !file.write(state) ? EIO : 0;
        if (error) result = failure(error);
    }
    logRequest(code, in, size, result);
    return result.error ? refuse(result.error) : 0;
}

}  // namespace

const Driver switchDriver{"bcm53xx", false, switchIoctl, nullptr};

}  // namespace adp::sim
