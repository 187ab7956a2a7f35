// The front-panel LEDs 1-11: their state in "<sandbox>/leds" (one line per
// LED, "N on|off"), and every request appended to "<sandbox>/led.log" as
// "seconds.micros LED on|off".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/time.h>
#include <unistd.h>

#include "leds.hpp"
#include "sim.hpp"
#include "sim_file.hpp"

namespace adp::sim {

using zezarur::device::ledCount;
using zezarur::device::ledOff;
using zezarur::device::ledOn;

leds::Lit leds::read(int fd) {
    Lit lit{};
    char text[512] = {};
    (void)!::pread(fd, text, sizeof text - 1, 0);
    char *save;
    for (char *line = ::strtok_r(text, "\n", &save); line; line = ::strtok_r(nullptr, "\n", &save)) {
        int n;
        char word[8];
        if (std::sscanf(line, "%d %7s", &n, word) == 2 && n >= 1 && n <= ledCount)
            lit[static_cast<size_t>(n)] = std::strcmp(word, "on") == 0;
    }
    return lit;
}

int leds::format(const Lit &lit, char *text, size_t size) {
    size_t len = 0;
    for (int n = 1; n <= ledCount; ++n) {
        const int k = std::snprintf(text + len, size - len, "%d %s\n", n,
                                    lit[static_cast<size_t>(n)] ? "on" : "off");
        if (k < 0 || static_cast<size_t>(k) >= size - len) return -1;
        len += static_cast<size_t>(k);
    }
    return static_cast<int>(len);
}

namespace {

void setState(int led, bool on) {
    LockedFile file("leds", true);
    if (!file.valid()) return;
    leds::Lit lit = leds::read(file.fd());
    lit[static_cast<size_t>(led)] = on;
    char text[512];
    const int len = leds::format(lit, text, sizeof text);
    if (len > 0) file.replace(text, static_cast<size_t>(len));
}

int ledIoctl(int, unsigned long request, void *record) {
    if (request != ledOff && request != ledOn) return refuse(ENOTTY);
    if (!record) return refuse(EFAULT);
    int led;
    std::memcpy(&led, record, sizeof led);
    if (led < 1 || led > ledCount) return refuse(EINVAL);
    bool on = request == ledOn;
    setState(led, on);
    struct timeval now;
    ::gettimeofday(&now, nullptr);
    char line[64];
    int len = std::snprintf(line, sizeof line, "%lld.%06ld %d %s\n",
                            static_cast<long long>(now.tv_sec), static_cast<long>(now.tv_usec), led,
                            on ? "on" : "off");
    appendLine("led.log", line, static_cast<size_t>(len));
    return 0;
}

}  // namespace

const Driver ledDriver{ledIoctl, nullptr};

}  // namespace adp::sim
