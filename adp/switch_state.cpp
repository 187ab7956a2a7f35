#include "switch_state.hpp"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace adp::sim::sw {

State::State() {
    for (int i = 0; i < mapPorts; ++i) {
        for (int j = 0; j < mapPorts; ++j) forward[i][j] = i != j;
        vlanId[i] = 1;
    }
    for (size_t p = 0; p < txRxPorts.size(); ++p) tx[p] = rx[p] = true;
}

bool number(const char *word, long long low, unsigned long long high, unsigned long long &out) {
    if (!word || !*word) return false;
    char *end;
    errno = 0;
    if (*word == '-') {
        long long v = std::strtoll(word, &end, 0);
        if (errno || *end || v < low) return false;
        out = static_cast<unsigned long long>(v);
        return true;
    }
    unsigned long long v = std::strtoull(word, &end, 0);
    if (errno || *end || v > high) return false;
    out = v;
    return true;
}

namespace {

constexpr const char *blanks = " \t\r";

bool onOff(const char *word, bool &out) {
    if (!word) return false;
    if (std::strcmp(word, "on") == 0) return out = true, true;
    if (std::strcmp(word, "off") == 0) return out = false, true;
    return false;
}

// "base.N" with N a number: N, else -1.
long indexAfter(const char *key, const char *base) {
    size_t n = std::strlen(base);
    if (std::strncmp(key, base, n) != 0 || key[n] != '.') return -1;
    unsigned long long v;
    char digits[8] = {};
    size_t len = std::strcspn(key + n + 1, ".");
    if (len == 0 || len >= sizeof digits) return -1;
    std::memcpy(digits, key + n + 1, len);
    return number(digits, 0, 255, v) ? static_cast<long>(v) : -1;
}

bool forwardList(State &s, long port, char *rest) {
    if (port < 0 || port >= mapPorts) return false;
    bool *row = s.forward[port];
    std::fill(row, row + mapPorts, false);
    char *save;
    for (char *w = ::strtok_r(rest, blanks, &save); w; w = ::strtok_r(nullptr, blanks, &save)) {
        unsigned long long j;
        if (std::strcmp(w, "-") == 0) continue;
        if (!number(w, 0, mapPorts - 1, j)) return false;
        row[j] = true;
    }
    return true;
}

bool mibLine(State &s, const char *key, const char *value) {
    long port = indexAfter(key, "mib");
    int slot = slotOf(mibPorts, port);
    const char *name = std::strchr(key + 4, '.');
    if (slot < 0 || !name) return false;
    for (size_t f = 0; f < std::size(mibFields); ++f)
        if (std::strcmp(name + 1, mibFields[f].name) == 0) {
            unsigned long long high = mibFields[f].width == 8 ? UINT64_MAX : UINT32_MAX;
            unsigned long long v;
            if (!number(value, 0, high, v)) return false;
            s.mib[slot][f] = v;
            return true;
        }
    return false;
}

// One single-valued setting.
bool setting(State &s, const char *key, const char *value) {
    unsigned long long v;
    if (std::strcmp(key, "ports") == 0 && number(value, INT32_MIN, INT32_MAX, v)) {
        s.ports = static_cast<int32_t>(v);
        return true;
    }
    if (long r = indexAfter(key, "vlanctl"); r >= 0 && r < 6 && number(value, 0, 255, v)) {
        s.vlanControl[r] = static_cast<uint8_t>(v);
        return true;
    }
    if (long p = indexAfter(key, "vid");
        p >= 0 && p < mapPorts && number(value, INT16_MIN, INT16_MAX, v)) {
        s.vlanId[p] = static_cast<int16_t>(v);
        return true;
    }
    if (std::strcmp(key, "8021q") == 0) return onOff(value, s.dot1q);
    if (std::strcmp(key, "dmz") == 0) return onOff(value, s.dmz);
    if (std::strcmp(key, "bpdu") == 0) return onOff(value, s.bpdu);
    if (std::strcmp(key, "mgmt") == 0) return onOff(value, s.mgmt);
    if (int p = slotOf(txRxPorts, indexAfter(key, "tx")); p >= 0) return onOff(value, s.tx[p]);
    if (int p = slotOf(txRxPorts, indexAfter(key, "rx")); p >= 0) return onOff(value, s.rx[p]);
    if (std::strncmp(key, "mib.", 4) == 0) return mibLine(s, key, value);
    if (std::strcmp(key, "arl") == 0 && s.arlCount < arlLimit && number(value, 0, UINT64_MAX, v)) {
        s.arl[s.arlCount++] = v;
        return true;
    }
    return false;
}

bool line(State &s, char *text) {
    char *save;
    char *key = ::strtok_r(text, blanks, &save);
    if (!key || *key == '#') return true;
    if (std::strncmp(key, "forward.", 8) == 0)
        return forwardList(s, indexAfter(key, "forward"), save);
    char *value = ::strtok_r(nullptr, blanks, &save);
    return value && !::strtok_r(nullptr, blanks, &save) && setting(s, key, value);
}

}  // namespace

bool parse(State &state, char *text) {
    char *save;
    for (char *l = ::strtok_r(text, "\n", &save); l; l = ::strtok_r(nullptr, "\n", &save))
        if (!line(state, l)) return false;
    return true;
}

char *format(const State &s, size_t &length) {
    char *text = nullptr;
    FILE *out = open_memstream(&text, &length);
    if (!out) return nullptr;
    auto word = [](bool on) { return on ? "on" : "off"; };
    std::fprintf(out, "# simulated BCM53xx switch: edit, or use 'zezarur-sim switch set KEY VALUE'\n");
    std::fprintf(out, "ports %d\n", s.ports);
    for (int i = 0; i < mapPorts; ++i) {
        std::fprintf(out, "forward.%d", i);
        bool any = false;
        for (int j = 0; j < mapPorts; ++j)
            if (s.forward[i][j]) std::fprintf(out, " %d", j), any = true;
        std::fprintf(out, any ? "\n" : " -\n");
    }
    for (int r = 0; r < 6; ++r) std::fprintf(out, "vlanctl.%d 0x%02X\n", r, s.vlanControl[r]);
    for (int p = 0; p < mapPorts; ++p) std::fprintf(out, "vid.%d %d\n", p, s.vlanId[p]);
    std::fprintf(out, "8021q %s\ndmz %s\nbpdu %s\nmgmt %s\n", word(s.dot1q), word(s.dmz),
                 word(s.bpdu), word(s.mgmt));
    for (size_t p = 0; p < txRxPorts.size(); ++p)
        std::fprintf(out, "tx.%d %s\nrx.%d %s\n", txRxPorts[p], word(s.tx[p]), txRxPorts[p],
                     word(s.rx[p]));
    for (size_t p = 0; p < mibPorts.size(); ++p)
        for (size_t f = 0; f < std::size(mibFields); ++f)
            std::fprintf(out, "mib.%d.%s %" PRIu64 "\n", mibPorts[p], mibFields[f].name, s.mib[p][f]);
    for (size_t k = 0; k < s.arlCount; ++k) std::fprintf(out, "arl 0x%016" PRIx64 "\n", s.arl[k]);
    if (std::fclose(out) != 0) {
        std::free(text);
        return nullptr;
    }
    return text;
}

}  // namespace adp::sim::sw
