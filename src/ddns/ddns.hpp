// The dynamic-DNS client's records, cycle contract and updaters.
#pragma once

#include <syslog.h>

#include <cstdint>
#include <cstdio>

#include "platform/deadline.hpp"

namespace zezarur::ddns {

// One configured service, fields in the order of a configuration line.
struct DdnsConfig {
    int ifNum;              // interface number; also numbers the record's files
    char *service;          // "dyndns", "dyndns-3322", "tzo", "iego" or a URL
    char *hostname;         // TZO: the domain
    char *username;         // TZO: the account's e-mail address
    char *passwd;           // TZO: the account key
    char *refreshInterval;  // seconds, decimal; 0: never refresh
    char *wildcard;         // sent verbatim as "wildcard="
    FILE *statusFile;       // open until the record's next attempt
};

constexpr unsigned maxDdnsConfigs = 3;
extern DdnsConfig ddnsConfigTable[maxDdnsConfigs];
extern unsigned numOfDdnsConfiguration;

// Adds a record from the seven fields of a configuration line.
void addDdnsConfig(char *const fields[7]);
// Reads "/var/ddnsclient.conf" into the table; false when it cannot be opened.
bool ddnsConfigRead();

// "/var/run/ddnsStatus%d": at most 24 characters.
constexpr unsigned ddnsStatusPathSize = 25;
void ddnsStatusPath(char (&path)[ddnsStatusPathSize], int ifNum);

// Writes a message to the status file (flushed at once) and logs it at info.
__attribute__((format(printf, 2, 3))) void ddnsTell(FILE *status, const char *format, ...);
// The status file gets one text, flushed; the log another (its own blanks,
// no line feed).
void ddnsReport(FILE *status, const char *statusText, const char *logText, int priority = LOG_INFO);

// When the exchange with server has run out of its time, says so in both
// places and returns true.
bool ddnsLate(FILE *status, const Deadline &exchange, const char *server);

// The DynDNS member update protocol, one row per service that speaks it (a
// URL record's made from dynDnsOrg's at run time).
struct DynDnsVariant {
    const char *server;      // resolved; over TLS the name checked
    const char *hostHeader;  // the Host header's value
    std::uint16_t port;
    bool tls;
    const char *path;    // the update's, before its query
    const char *system;  // null: the record's service keyword
    const char *credentialsLog, *sendingLog, *updated, *notUpdated, *badAgent,
        *cannotResolve, *cannotConnect, *tooLong;
};
extern const DynDnsVariant dynDnsOrg, dynDns3322;

// What a DynDNS-protocol update came to: result as the updaters below give
// it; the reply's HTTP status (-1 without a status line) and return code
// (-1 without one), both 0 when no reply was read.
struct DynDnsOutcome {
    int result;
    int http;
    int code;
};

// Updaters: 0 or more done, negative to be tried again next cycle.
DynDnsOutcome dynDnsUpdate(DdnsConfig *record, const DynDnsVariant *variant);
int tzoUpdate(DdnsConfig *record);
// Logs in and registers address; the handle (freed with free) or null.
void *orayUpdate(DdnsConfig *record, int *orayType, unsigned int address, int index);

}  // namespace zezarur::ddns
