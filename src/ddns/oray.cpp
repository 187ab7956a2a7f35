// Oray: the platform's client does the protocol; this logs in, records the
// account type for other programs and has the address registered.
#include <zezarur/adp.h>

#include <cstdio>
#include <cstdlib>
#include <syslog.h>
#include <unistd.h>

#include "ddns/ddns.hpp"

namespace zezarur::ddns {

namespace {

constexpr const char *webServiceHost = "services.example";
constexpr int registrationPort = 6060;
// A dead web service would otherwise be asked again at once, for ever.
constexpr unsigned loginPause = 1;

}  // namespace

void *orayUpdate(DdnsConfig *record, int *orayType, unsigned int address, int index) {
    char statusPath[ddnsStatusPathSize], typePath[32], domainsPath[32];
    ddnsStatusPath(statusPath, record->ifNum);
    std::snprintf(typePath, sizeof typePath, "/var/run/orayDdnsType%d", record->ifNum);
    std::snprintf(domainsPath, sizeof domainsPath, "/var/run/orayDdnsDomains%d", record->ifNum);

    syslog(LOG_INFO, "Connecting...");
    orayDdnsUpdate(statusPath, "connecting ....");
    void *handle;
    while (!(handle = oraywebsvcMain(record->username, record->passwd, orayType, address,
                                     webServiceHost, statusPath)))
        sleep(loginPause);

    if (*orayType == 0) {
        orayDdnsUpdate(typePath, "standard");
    } else if (*orayType == 1) {
        orayDdnsUpdate(typePath, "professional");
    } else {
        orayDdnsUpdate(typePath, " ");
        orayDdnsUpdate(domainsPath, " ");
    }
    syslog(LOG_INFO, "Sending oray dns ip update request...");
    if (updatednsipMain(handle, registrationPort, record->username, record->passwd, address,
                        index, statusPath, domainsPath) != -1) {
        syslog(LOG_INFO, "update DNS successful");
        return handle;
    }
    syslog(LOG_INFO, "update DNS failed");
    std::free(handle);
    return nullptr;
}

}  // namespace zezarur::ddns
