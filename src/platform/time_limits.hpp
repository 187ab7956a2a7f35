// How long the network applets wait for a peer, in one place.  No wait is
// without end: a silent server would otherwise hold a mail run, or the whole
// single-threaded ddns daemon with every other record, for ever.
#pragma once

namespace zezarur {

struct TimeLimit {
    const char *what;  // names the limit in the line that reports it
    unsigned seconds;
};

// A mail client's waits, as RFC 5321 4.5.3.2 tells a client to time them:
// each reply awaited, each data block sent.  The connection gets as long as
// the greeting; commands the section leaves out (EHLO, AUTH, QUIT) as long
// as MAIL and RCPT.
inline constexpr TimeLimit smtpConnectLimit{"connection", 5 * 60};
inline constexpr TimeLimit smtpGreetingLimit{"greeting", 5 * 60};
inline constexpr TimeLimit smtpCommandLimit{"command", 5 * 60};
inline constexpr TimeLimit smtpDataLimit{"DATA", 2 * 60};
inline constexpr TimeLimit smtpDataBlockLimit{"data block", 3 * 60};
inline constexpr TimeLimit smtpDataEndLimit{"end of data", 10 * 60};

// One whole exchange (connect, request, reply) with a dynamic-DNS server.
// Its replies are a line or two, so 2 minutes is ample on any link, yet
// short against the 10-second cycle that a hung server would otherwise stop.
inline constexpr TimeLimit ddnsExchangeLimit{"exchange", 2 * 60};

}  // namespace zezarur
