// ddns: reads its configuration once, then every 10 seconds registers each
// record whose interface address changed or whose refresh interval ran out,
// and keeps Oray registrations alive.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <syslog.h>
#include <unistd.h>

#include "ddns/ddns.hpp"
#include "ddns/url_record.hpp"
#include "devices/interfaces.hpp"
#include "platform/clock.hpp"
#include "platform/decimal.hpp"
#include "platform/owned.hpp"
#include "platform/report.hpp"
#include "platform/sock.hpp"

namespace zezarur::ddns {
namespace {

constexpr const char *pidPath = "/var/run/ddnsclient.pid";
constexpr unsigned cycleSeconds = 10;
using device::wanInterfaces;
constexpr unsigned ifUp = 1;

// What the cycle keeps for one record.
struct Cycle {
    long lastUpdate = 0;
    long cycleTime = 0;
    long elapsed = 0;
    unsigned int registered = 0;  // network order; 0: none yet
    unsigned int current = 0;
    char statusPath[ddnsStatusPathSize] = {};
    void *orayHandle = nullptr;  // freed before it is replaced
    int orayType = 0;
    int keepAlive = 0;  // 0 not started, -1 failed, else running
    UrlRecord url;      // only a URL record's ever holds it back
};

// The interface's record when it can be read and the interface is up.
bool readUp(int ifNum, ifDevInfo &info) {
    return ifDevGet(&info, 0, ifNum) != -1 && (info.flags & ifUp);
}

// The interface's address when it can be read, is up and has one; else 0.
unsigned int addressOf(int ifNum) {
    ifDevInfo info{};
    return readUp(ifNum, info) ? info.addr : 0;
}

bool networkReady() {
    for (int n : wanInterfaces) {
        ifDevInfo info{};
        if (readUp(n, info) && info.ready) return true;
    }
    return false;
}

int dynDnsAttempt(DdnsConfig &r, Cycle &, int) { return dynDnsUpdate(&r, &dynDnsOrg).result; }
int dynDns3322Attempt(DdnsConfig &r, Cycle &, int) { return dynDnsUpdate(&r, &dynDns3322).result; }
int tzoAttempt(DdnsConfig &r, Cycle &, int) { return tzoUpdate(&r); }
int urlAttemptOf(DdnsConfig &r, Cycle &c, int) { return urlAttempt(r, c.url); }
int orayAttempt(DdnsConfig &r, Cycle &c, int index) {
    std::free(c.orayHandle);
    c.orayHandle = orayUpdate(&r, &c.orayType, c.current, index);
    return c.orayHandle ? 0 : -1;
}

// The services by their exact keyword.
struct Service {
    const char *keyword;
    int (*attempt)(DdnsConfig &, Cycle &, int index);
};
constexpr Service services[] = {{"dyndns", dynDnsAttempt},
                                {"tzo", tzoAttempt},
                                {"iego", orayAttempt},
                                {"dyndns-3322", dynDns3322Attempt}};

constexpr Service urlService{nullptr, urlAttemptOf};

// The keyword's service, the URL records', or null for an unknown keyword.
const Service *serviceOf(const char *keyword) {
    for (const Service &s : services)
        if (std::strcmp(s.keyword, keyword) == 0) return &s;
    return ddnsIsUrl(keyword) ? &urlService : nullptr;
}

bool writePid() {
    AdpFile f(adpFileOpen(pidPath, "w"));
    if (!f) {
        syslog(LOG_ERR, "can not open pid file: %s", pidPath);
        return false;
    }
    adpFilePrintf(f.get(), "%d\n", static_cast<int>(getpid()));
    return true;
}

// A record whose host name already resolves to its interface's address needs
// no update in the first cycle.
void initialPass(Cycle (&cycles)[maxDdnsConfigs]) {
    for (unsigned i = 0; i < numOfDdnsConfiguration; ++i) {
        const DdnsConfig &r = ddnsConfigTable[i];
        cycles[i].lastUpdate = platformSeconds();
        unsigned int address = addressOf(r.ifNum);
        in_addr resolved;
        if (address && std::strcmp(r.service, "iego") != 0 &&
            resolveFirst(r.hostname, &resolved) && resolved.s_addr == address)
            cycles[i].registered = address;
    }
}

// One attempt per record that needs it; false when a keyword is unknown.
bool updatePass(Cycle (&cycles)[maxDdnsConfigs]) {
    for (unsigned i = 0; i < numOfDdnsConfiguration; ++i) {
        DdnsConfig &r = ddnsConfigTable[i];
        Cycle &c = cycles[i];
        long t = platformSeconds();
        c.elapsed = t - c.lastUpdate;
        c.cycleTime = t;
        unsigned int address = addressOf(r.ifNum);
        if (!address) continue;
        c.current = address;
        if (c.current == c.registered) {
            long refresh = decimal(r.refreshInterval);
            if (refresh == 0 || c.elapsed <= refresh) continue;
        }
        if (!urlDue(c.url, t)) continue;
        ddnsStatusPath(c.statusPath, r.ifNum);
        if (r.statusFile) adpFileClose(r.statusFile);
        r.statusFile = adpFileOpen(c.statusPath, "w+");
        if (!r.statusFile) {
            syslog(LOG_ERR, "Failed to Open: %s \n", c.statusPath);
            continue;
        }
        const Service *service = serviceOf(r.service);
        if (!service) {
            syslog(LOG_ERR, "unknown service %s", r.service);
            return false;
        }
        if (service->attempt(r, c, static_cast<int>(i)) < 0) {
            syslog(LOG_INFO, "Failed to update %s service", r.service);
            continue;
        }
        c.lastUpdate = c.cycleTime;
        c.registered = c.current;
    }
    return true;
}

// Starts each Oray keep-alive; one that failed is answered by a new login.
void keepAlivePass(Cycle (&cycles)[maxDdnsConfigs]) {
    for (unsigned i = 0; i < numOfDdnsConfiguration; ++i) {
        DdnsConfig &r = ddnsConfigTable[i];
        Cycle &c = cycles[i];
        if (!c.orayHandle) continue;  // only an Oray login leaves one
        int index = static_cast<int>(i);
        if (c.keepAlive == 0)
            c.keepAlive = udpTimer(c.orayHandle, c.orayType, c.current, index, c.statusPath);
        if (c.keepAlive != -1) continue;
        if (void *handle = orayUpdate(&r, &c.orayType, c.current, index)) {
            std::free(c.orayHandle);
            c.orayHandle = handle;
            c.keepAlive = 0;
        }
    }
}

}  // namespace
}  // namespace zezarur::ddns

extern "C" int ddnsMain(int argc, char **argv) {
    using namespace zezarur::ddns;
    if (argc > 1 && argv[1] && argv[1][0] == 'b' && daemon(1, 0) != 0) {
        zezarur::report("daemon");
        return 0;
    }
    openlog("ddns", LOG_NDELAY, LOG_USER);  // before any message: not every C library names it
    if (!writePid()) return 0;
    if (!ddnsConfigRead()) return 0;
    syslog(LOG_INFO, "numOfDdnsConfiguration %d", numOfDdnsConfiguration);
    while (!networkReady()) sleep(1);

    Cycle cycles[maxDdnsConfigs];
    initialPass(cycles);
    while (updatePass(cycles)) {
        keepAlivePass(cycles);
        sleep(cycleSeconds);
    }
    for (Cycle &c : cycles) std::free(c.orayHandle);
    return 0;
}
