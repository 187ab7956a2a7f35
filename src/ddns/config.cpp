// The configuration, read once at start-up from "/var/ddnsclient.conf": one
// record per line, at most three, each with its status file opened.
#include <zezarur/adp.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <syslog.h>

#include "ddns/config_parse.hpp"
#include "ddns/ddns.hpp"
#include "platform/decimal.hpp"
#include "platform/owned.hpp"

namespace zezarur::ddns {

DdnsConfig ddnsConfigTable[maxDdnsConfigs];
unsigned numOfDdnsConfiguration = 0;

namespace {

constexpr const char *configPath = "/var/ddnsclient.conf";

// Frees what a slot holds and empties it.
void release(DdnsConfig &r) {
    for (char *s : {r.service, r.hostname, r.username, r.passwd, r.refreshInterval, r.wildcard})
        std::free(s);
    if (r.statusFile) adpFileClose(r.statusFile);
    r = {};
}

}  // namespace

void addDdnsConfig(char *const fields[7]) {
    if (numOfDdnsConfiguration >= maxDdnsConfigs) {
        syslog(LOG_ERR, "addDdnsConfig: Too Many Ddns Configuration\n");
        return;
    }
    DdnsConfig &r = ddnsConfigTable[numOfDdnsConfiguration];
    release(r);  // a slot whose status file failed is reused by the next line
    r = {decimal(fields[0]), strdup(fields[1]), strdup(fields[2]), strdup(fields[3]),
         strdup(fields[4]), strdup(fields[5]), strdup(fields[6]), nullptr};
    char path[ddnsStatusPathSize];
    ddnsStatusPath(path, r.ifNum);
    if (!r.service || !r.hostname || !r.username || !r.passwd || !r.refreshInterval ||
        !r.wildcard || !(r.statusFile = adpFileOpen(path, "w+"))) {
        syslog(LOG_ERR, "Failed to Open: %s \n", path);
        return;
    }
    adpFilePrintf(r.statusFile, "service enabled\n");
    std::fflush(r.statusFile);
    ++numOfDdnsConfiguration;
    syslog(LOG_INFO, "Ddns %d Configured\n", numOfDdnsConfiguration);
}

bool ddnsConfigRead() {
    // A daemon run again in the same process starts from an empty table.
    for (DdnsConfig &r : ddnsConfigTable) release(r);
    numOfDdnsConfiguration = 0;
    char text[ddnsConfigMax + 1] = {};
    {
        AdpFile f(adpFileOpen(configPath, "r"));
        if (!f) {
            syslog(LOG_ERR, "Failed to Open: %s \n", configPath);
            return false;
        }
        syslog(LOG_INFO, "\nreading ddnsclient.conf file ...\n");
        adpFileRead(text, 1, ddnsConfigMax, f.get());
    }
    syslog(LOG_INFO, "\nConfiguration \n%s", text);

    char *cursor = text;
    while (char *line = ddnsConfigLine(cursor)) {
        char *fields[ddnsConfigFieldCount];
        if (ddnsConfigFields(line, fields) < ddnsConfigFieldCount)
            syslog(LOG_ERR, "addDdnsConfig: Incomplete Ddns Configuration\n");
        else
            addDdnsConfig(fields);
    }
    return true;
}

}  // namespace zezarur::ddns
