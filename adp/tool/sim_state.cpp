// zezarur-sim-state: libadp's own reading and writing of the sandbox's
// shared files, for the sandbox's commands, so that every format exists once.
// It works on the files of the sandbox directory named by ZEZARUR_SIM, under
// the same locks as the drivers, and prints the result; on a refusal it says
// why on standard error, exit 1.
//
//   switch [set KEY [VALUE...] | arl COUNT | traffic PORT FRAMES SIZE]
//                                   the switch state, changed at most once
//   switch fail-next NUMBER NAME    the next switch request fails with errno NUMBER
//   oray [KEY VALUE...]             the Oray client's script (oray_script.hpp)
//   fault write N | erase N | cut N | clear
//                                   the flash fault (faults.hpp)
//   leds                            the LEDs' state
//   clock advance SECONDS | set UNIX-SECONDS | show    the router's clock
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <string>

#include <ctime>

#include "../clock.hpp"
#include "../faults.hpp"
#include "../leds.hpp"
#include "../oray_script.hpp"
#include "../sim.hpp"
#include "../switch_file.hpp"

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

// The state as it stands, or changed by one action.
int switchChange(sw::State &s, int argc, char **argv) {
    if (argc == 0) return 0;
    const char *action = argv[0];
    if (std::strcmp(action, "set") == 0 && argc >= 2) return set(s, argc - 1, argv + 1);
    if (std::strcmp(action, "arl") == 0 && argc == 2) return arl(s, argv[1]);
    if (std::strcmp(action, "traffic") == 0 && argc == 4) return traffic(s, argv + 1);
    return refuse("usage: switch [set KEY [VALUE...] | arl COUNT | traffic PORT FRAMES SIZE | "
                  "fail-next NUMBER NAME]");
}

int switchState(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[0], "fail-next") == 0) {
        unsigned long long error;
        if (!sw::number(argv[1], 1, 4095, error) || !sw::setFault(static_cast<int>(error), argv[2]))
            return refuse("fail-next takes an errno number and its name");
        return 0;
    }
    static sw::State state;  // 33 KiB of ARL table: not on the stack
    sw::StateFile file;
    if (!file.read(state)) return refuse("the switch state has a line the driver cannot read");
    if (int rc = switchChange(state, argc, argv)) return rc;
    size_t length;
    char *text = sw::format(state, length);
    bool ok = text && file.write(state) && std::fwrite(text, 1, length, stdout) == length;
    std::free(text);
    return ok ? 0 : refuse("cannot write the switch state");
}

int orayScript(int argc, char **argv) {
    namespace oray = adp::sim::oray;
    oray::ScriptFile file;
    if (!file.valid()) return refuse("cannot open the Oray script");
    for (int i = 0; i + 1 < argc; i += 2)
        if (!oray::set(file.script(), argv[i], argv[i + 1]))
            return refuse("oray: %s does not take %s", argv[i], argv[i + 1]);
    if (argc % 2) return refuse("usage: oray [login ok|fail|fail:N] [type N] [register ok|fail] [keepalive N]");
    char text[256];
    const int n = oray::format(file.script(), text, sizeof text);
    if (n < 0 || (argc && !file.save())) return refuse("cannot write the Oray script");
    std::fwrite(text, 1, static_cast<size_t>(n), stdout);
    return 0;
}

int flashFault(int argc, char **argv) {
    if (argc == 1 && std::strcmp(argv[0], "clear") == 0)
        return adp::sim::setFlashFault(nullptr, 0) ? 0 : refuse("cannot clear the flash fault");
    unsigned long long n;
    if (argc != 2 || !sw::number(argv[1], 0, LONG_MAX, n) ||
        !adp::sim::setFlashFault(argv[0], static_cast<long>(n)))
        return refuse("a flash fault is write N or erase N (N of 1 or more), cut N (0 or more) "
                      "or clear");
    return 0;
}

int ledState() {
    adp::sim::LockedFile file("leds", false);
    const adp::sim::leds::Lit lit = file.valid() ? adp::sim::leds::read(file.fd()) : adp::sim::leds::Lit{};
    char text[512];
    const int n = adp::sim::leds::format(lit, text, sizeof text);
    return n > 0 && std::fwrite(text, 1, static_cast<size_t>(n), stdout) == static_cast<size_t>(n)
               ? 0
               : refuse("cannot show the LEDs");
}

int routerClock(int argc, char **argv) {
    unsigned long long seconds = 0;
    const bool advance = argc == 2 && std::strcmp(argv[0], "advance") == 0;
    const bool set = argc == 2 && std::strcmp(argv[0], "set") == 0;
    if (!(argc == 1 && std::strcmp(argv[0], "show") == 0) &&
        !((advance || set) && sw::number(argv[1], 0, LONG_MAX, seconds)))
        return refuse("usage: clock advance SECONDS | clock set UNIX-SECONDS (0 or more) | clock show");
    if (advance && !adp::sim::advanceClock(static_cast<long>(seconds)))
        return refuse("cannot advance the clock");
    if (set && !adp::sim::setClock(static_cast<long>(seconds))) return refuse("cannot set the clock");
    const long offset = adp::sim::clockOffset();
    const std::time_t shown = std::time(nullptr) + offset;
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", std::gmtime(&shown));
    std::printf("offset %ld s: %s\n", offset, when);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (!adp::sim::dir()) return refuse("ZEZARUR_SIM names no sandbox directory");
    const char *what = argc > 1 ? argv[1] : "";
    int n = argc - 2;
    char **words = argv + 2;
    if (std::strcmp(what, "switch") == 0) return switchState(n, words);
    if (std::strcmp(what, "oray") == 0) return orayScript(n, words);
    if (std::strcmp(what, "fault") == 0) return flashFault(n, words);
    if (std::strcmp(what, "leds") == 0 && n == 0) return ledState();
    if (std::strcmp(what, "clock") == 0) return routerClock(n, words);
    return refuse("usage: zezarur-sim-state switch ... | oray ... | fault ... | leds | clock ...");
}
