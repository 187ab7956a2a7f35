#include "ddns/url_record.hpp"

#include <algorithm>
#include <cstdio>
#include <syslog.h>

#include "ddns/config_parse.hpp"
#include "ddns/dyndns_reply.hpp"
#include "platform/clock.hpp"

namespace zezarur::ddns {
namespace {

constexpr long firstWait = 5 * 60, longestWait = 60 * 60;

// Why the reply refuses the update for good, or null when a retry may help.
const char *lastingRefusal(const DynDnsOutcome &o, char (&text)[16]) {
    if (o.http == 401 || o.http == 403) {
        std::snprintf(text, sizeof text, "HTTP %d", o.http);
        return text;
    }
    return o.code == 10 ? nullptr : dynDnsRefusalText(o.code);  // 10: the provider timed out
}

// Says text (the log without a leading line end) at error priority: the
// record is not attempted again in this run.
void stop(DdnsConfig &config, UrlRecord &record, const char *text) {
    ddnsReport(config.statusFile, text, text + (*text == '\n'), LOG_ERR);
    record.state = UrlRecord::State::stopped;
}

}  // namespace

bool urlDue(const UrlRecord &record, long now) {
    // A clock set back counts as the wait having passed.
    return record.state != UrlRecord::State::stopped &&
           (record.wait == 0 || now < record.failedAt || now - record.failedAt >= record.wait);
}

int urlAttempt(DdnsConfig &config, UrlRecord &record) {
    if (record.state == UrlRecord::State::unread) {
        const char *why = ddnsUrlRead(config.service, record.url);
#if !ZEZARUR_TLS
        if (!why && record.url.tls) why = "https is not built in";
#endif
        if (why) {
            char text[ddnsConfigMax + 64];
            std::snprintf(text, sizeof text, "cannot use the service URL %s: %s\n", config.service, why);
            stop(config, record, text);
            return -1;
        }
        record.state = UrlRecord::State::ready;
    }
    const DynDnsVariant v = urlVariant(record.url, dynDnsOrg);
    const DynDnsOutcome outcome = dynDnsUpdate(&config, &v);
    if (outcome.http == 200 && (outcome.code == 1 || outcome.code == 2)) {
        record.wait = 0;
        return 0;
    }
    char reason[16];
    if (const char *why = lastingRefusal(outcome, reason)) {
        char text[urlHostSize + 96];
        // A 200's return code went to the status file without a line end.
        std::snprintf(text, sizeof text, "%s%s refused the update (%s): stopped until ddns starts again\n",
                      outcome.http == 200 ? "\n" : "", v.server, why);
        stop(config, record, text);
        return -1;
    }
    record.wait = record.wait ? std::min(2 * record.wait, longestWait) : firstWait;
    record.failedAt = platformSeconds();
    ddnsTell(config.statusFile, "%s: next attempt in %ld s\n", v.server, record.wait);
    return -1;
}

}  // namespace zezarur::ddns
