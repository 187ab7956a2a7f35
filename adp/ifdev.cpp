// Interface records from the kernel.  The firmware's interface numbers map to
// interface names through "<sandbox>/ifmap", one "NUMBER NAME" per line.
// Where "<sandbox>/ifdev.log" is there, each record read is logged to it as
// "TIME NUMBER ADDRESSED" (0 or 1) once read: a daemon's fetches made visible
// to a test, which creates the file to ask for them.
#include <zezarur/adp.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "ioctl_request.hpp"
#include "sim.hpp"
#include "sim_file.hpp"

static_assert(sizeof(ifDevInfo) == 52);
static_assert(offsetof(ifDevInfo, addr) == 4);
static_assert(offsetof(ifDevInfo, netmask) == 12);
static_assert(offsetof(ifDevInfo, flags) == 20);
static_assert(offsetof(ifDevInfo, ready) == 24);
static_assert(offsetof(ifDevInfo, name) == 42);

namespace {

bool nameOf(int number, char (&name)[sizeof ifDevInfo::name]) {
    char p[PATH_MAX];
    if (!adp::sim::path(p, "ifmap")) return false;
    FILE *f = std::fopen(p, "re");
    if (!f) return false;
    bool found = false;
    int n;
    char word[IFNAMSIZ + 1];
    while (!found && std::fscanf(f, "%d %16s", &n, word) == 2)
        if (n == number && std::strlen(word) < sizeof name) {
            std::strcpy(name, word);
            found = true;
        }
    std::fclose(f);
    return found;
}

unsigned int ipv4Of(int sock, unsigned long request, ifreq &req) {
    if (::ioctl(sock, adp::ioctlRequest(request), &req) != 0) return 0;
    sockaddr_in sin;
    std::memcpy(&sin, &req.ifr_addr, sizeof sin);
    return sin.sin_addr.s_addr;
}

int readRecord(ifDevInfo &rec, int interface) {
    if (!nameOf(interface, rec.name)) return -1;

    int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return -1;
    ifreq req{};
    std::strncpy(req.ifr_name, rec.name, IFNAMSIZ - 1);
    if (::ioctl(sock, SIOCGIFFLAGS, &req) != 0) {
        ::close(sock);
        return -1;
    }
    rec.flags = static_cast<unsigned short>(req.ifr_flags);
    rec.addr = ipv4Of(sock, SIOCGIFADDR, req);
    rec.netmask = ipv4Of(sock, SIOCGIFNETMASK, req);
    ::close(sock);
    rec.ready = (rec.flags & IFF_UP) && rec.addr ? 1 : 0;
    return 0;
}

// One line of "<sandbox>/ifdev.log", if a test has created it.
void logRead(int interface, const ifDevInfo &rec) {
    if (!adp::sim::dir()) return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%lld.%09ld %d %d\n", static_cast<long long>(now.tv_sec),
                                now.tv_nsec, interface, rec.addr != 0 && rec.netmask != 0);
    if (n > 0 && static_cast<size_t>(n) < sizeof line)
        adp::sim::appendLine("ifdev.log", line, static_cast<size_t>(n), false);
}

}  // namespace

extern "C" int ifDevGet(void *info, int, int interface) {
    if (!info) return -1;
    ifDevInfo rec{};
    const int result = readRecord(rec, interface);
    if (result == 0) std::memcpy(info, &rec, sizeof rec);
    logRead(interface, rec);
    return result;
}
