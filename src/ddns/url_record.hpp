// A record whose service field is a URL: the DynDNS-protocol update of the
// "dyndns" keyword sent to that URL, without hammering the provider.  The
// URL is read at the first attempt; a refusal that a retry cannot fix stops
// the record until ddns is started again; any other failure holds it back
// for 5 minutes, doubling to an hour, until a success.
#pragma once

#include "ddns/ddns.hpp"
#include "ddns/url.hpp"

namespace zezarur::ddns {

struct UrlRecord {
    enum class State { unread, ready, stopped } state = State::unread;
    DdnsUrl url{};
    long failedAt = 0;  // the platform clock's seconds at the last failure
    long wait = 0;      // seconds held back after it; 0 after a success
};

// Whether the record may be attempted at now; always for a record that
// never failed (so for every keyword record too).
bool urlDue(const UrlRecord &record, long now);
// One attempt: 0 when the address is registered, else -1.
int urlAttempt(DdnsConfig &config, UrlRecord &record);

}  // namespace zezarur::ddns
