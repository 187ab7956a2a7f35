// zezarur-switch-state: libadp's switch model for the sandbox, so that the
// power-on state, the state file's grammar and the counter names exist once.
// It reads a state file's text on standard input (empty: a switch just
// powered on), applies at most one change and writes the canonical text to
// standard output; on a refusal it writes why to standard error, exit 1.
//
//   zezarur-switch-state                          the state as it stands
//   zezarur-switch-state set KEY [VALUE...]       one line of the file's grammar
//   zezarur-switch-state arl COUNT                COUNT made-up ARL entries
//   zezarur-switch-state traffic PORT FRAMES SIZE counters of FRAMES frames each way
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../switch_state.hpp"

namespace sw = adp::sim::sw;

namespace {

int refuse(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return 1;
}

std::string readAll(FILE *in) {
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) text.append(chunk, n);
    return text;
}

using zezarur::bcm::MibIndex;

// Adds n to a counter, wrapping at its width.
void grow(sw::State &s, int slot, MibIndex f, unsigned long long n) {
    uint64_t v = s.mib[slot][f] + n;
    s.mib[slot][f] = sw::mibFields[f].width == 8 ? v : static_cast<uint32_t>(v);
}

int set(sw::State &s, int count, char **words) {
    std::string line;
    for (int i = 0; i < count; ++i) {
        if (std::strchr(words[i], '\n')) return refuse("one line at a time");
        line.append(i ? " " : "").append(words[i]);
    }
    if (std::strcmp(words[0], "arl") == 0)
        return refuse("the ARL table is replaced with 'arl COUNT'");
    std::string copy = line;
    return sw::parse(s, copy.data()) ? 0 : refuse("cannot set %s", line.c_str());
}

// Entry k: valid bit, VLAN 1, MAC 02:00:00:00:HH:LL for k = 0xHHLL.
int arl(sw::State &s, const char *word) {
    unsigned long long count;
    if (!sw::number(word, 0, sw::arlLimit, count))
        return refuse("an ARL table holds 0 to %zu entries", sw::arlLimit);
    s.arlCount = static_cast<size_t>(count);
    for (size_t k = 0; k < count; ++k) s.arl[k] = 1ULL << 63 | 1ULL << 48 | 0x020000000000ULL | k;
    return 0;
}

// FRAMES unicast frames of SIZE bytes sent and as many received.
int traffic(sw::State &s, char **words) {
    using namespace zezarur::bcm;
    struct Bucket {
        unsigned long long limit;
        MibIndex counter;
    };
    constexpr Bucket buckets[] = {{64, mibPkts64Octets},        {127, mibPkts65to127Octets},
                                  {255, mibPkts128to255Octets},  {511, mibPkts256to511Octets},
                                  {1023, mibPkts512to1023Octets}, {1522, mibPkts1024to1522Octets}};
    unsigned long long port, frames, size;
    bool read = sw::number(words[0], 0, 11, port) && sw::number(words[1], 0, UINT32_MAX, frames) &&
                sw::number(words[2], 0, 1522, size) && size >= 64;
    int slot = read ? sw::slotOf(sw::mibPorts, static_cast<long>(port)) : -1;
    if (slot < 0)
        return refuse("traffic PORT FRAMES SIZE: PORT 0-8 or 11, FRAMES 0-%u, SIZE 64-1522",
                      UINT32_MAX);
    MibIndex bucket = mibCount;
    for (const Bucket &b : buckets)
        if (bucket == mibCount && size <= b.limit) bucket = b.counter;
    for (MibIndex counter : {mibTxOctets, mibRxOctets, mibRxGoodOctets})
        grow(s, slot, counter, frames * size);
    for (MibIndex counter : {mibTxUnicastPkts, mibRxUniCastPkts, bucket}) grow(s, slot, counter, frames);
    return 0;
}

int change(sw::State &s, int argc, char **argv) {
    if (argc == 1) return 0;
    const char *action = argv[1];
    if (std::strcmp(action, "set") == 0 && argc >= 3) return set(s, argc - 2, argv + 2);
    if (std::strcmp(action, "arl") == 0 && argc == 3) return arl(s, argv[2]);
    if (std::strcmp(action, "traffic") == 0 && argc == 5) return traffic(s, argv + 2);
    return refuse("usage: zezarur-switch-state [set KEY [VALUE...] | arl COUNT | "
                  "traffic PORT FRAMES SIZE] < STATE");
}

}  // namespace

int main(int argc, char **argv) {
    static sw::State state;  // 33 KiB of ARL table: not on the stack
    std::string text = readAll(stdin);
    if (std::ferror(stdin) || !sw::parse(state, text.data()))
        return refuse("the switch state has a line the driver cannot read");
    if (int rc = change(state, argc, argv)) return rc;
    size_t length;
    char *out = sw::format(state, length);
    bool ok = out && std::fwrite(out, 1, length, stdout) == length && std::fflush(stdout) == 0;
    std::free(out);
    return ok ? 0 : refuse("cannot write the switch state");
}
