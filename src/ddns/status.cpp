// A record's status file, "/var/run/ddnsStatus%d", for other programs of the
// firmware to read, and the system log, which hears the same messages.
#include <zezarur/adp.h>

#include <cstdarg>
#include <cstdio>
#include <syslog.h>

#include "ddns/ddns.hpp"

namespace zezarur::ddns {

void ddnsStatusPath(char (&path)[ddnsStatusPathSize], int ifNum) {
    std::snprintf(path, sizeof path, "/var/run/ddnsStatus%d", ifNum);
}

void ddnsTell(FILE *status, const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    ddnsReport(status, text, text);
}

void ddnsReport(FILE *status, const char *statusText, const char *logText, int priority) {
    adpFilePrintf(status, "%s", statusText);
    std::fflush(status);
    syslog(priority, "%s", logText);
}

bool ddnsLate(FILE *status, const Deadline &exchange, const char *server) {
    if (!exchange.passed()) return false;
    ddnsTell(status, "%s: %s time limit of %u s ran out\n", server, exchange.limit().what,
             exchange.limit().seconds);
    return true;
}

}  // namespace zezarur::ddns
