#include <zezarur/adp.h>
#include <zezarur/zezarur.h>  // before <unistd.h>, which <memory> may bring

#include "smtp/session.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/channel.hpp"
#include "platform/text.hpp"

char *Username = nullptr;
char *Password = nullptr;

namespace zezarur::smtp {

int smtpSocket = -1;
TlsSession *smtpTls = nullptr;

namespace {

const TimeLimit *waitLimit = &smtpCommandLimit;

// The session's one way out and one way in: inside TLS once it is open.
long transmit(const char *data, std::size_t len, const Deadline &deadline, const char *tag) {
    return channelSend(smtpSocket, smtpTls, data, len, deadline, tag);
}

long receive(char *buffer, std::size_t size, const Deadline &deadline, const char *tag) {
    return channelReceive(smtpSocket, smtpTls, buffer, size, deadline, tag);
}

}  // namespace

void smtpWithin(const TimeLimit &limit) { waitLimit = &limit; }

void smtpSay(const char *format, ...) {
    char text[smtpBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    adpFilePrintf(stderr, "smtp: %s\n", text);
}

void smtpSayIfLate(const Deadline &deadline) {
    if (deadline.passed())
        smtpSay("the %s time limit of %u s ran out", deadline.limit().what, deadline.limit().seconds);
}

long smtpSendLine(char *line, std::size_t bound, const char *tag, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const long n = formatWholeV(line, bound, format, args);
    va_end(args);
    return n < 0 ? -1 : smtpSend(line, static_cast<std::size_t>(n), tag);
}

long smtpSend(const char *data, std::size_t len, const char *tag) {
    const Deadline deadline(*waitLimit);
    const long sent = transmit(data, len, deadline, tag);
    if (sent < 0) smtpSayIfLate(deadline);
    return sent;
}

namespace {

// Finds where a reply ends as its bytes come, read by read: at the line feed
// of its last line, the first whose code is not followed by "-" (RFC 5321
// 4.2.1).
class ReplyEnd {
   public:
    // Where in these n bytes the reply ends (the count up to and with that
    // line feed), or -1 when it goes on past them.
    long in(const char *bytes, long n) {
        for (long i = 0; i < n; ++i) {
            if (column == 3) more = bytes[i] == '-';
            if (bytes[i] != '\n') {
                ++column;
            } else if (more) {
                column = 0;
                more = false;
            } else {
                return i + 1;
            }
        }
        return -1;
    }

   private:
    std::size_t column = 0;  // bytes read of the current line
    bool more = false;       // the current line is not the reply's last
};

// Feeds the bytes of a read that belong to the reply (n, or up to its end).
void watch(ExtensionScan *scan, const char *bytes, long n, long whole) {
    if (scan) scan->feed(bytes, static_cast<std::size_t>(whole >= 0 ? whole : n));
}

long readReply(char *reply, std::size_t size, const Deadline &deadline, const char *tag,
               ExtensionScan *scan) {
    ReplyEnd end;
    std::size_t kept = 0;
    while (kept < size && !std::memchr(reply, '\n', kept)) {
        const long n = receive(reply + kept, size - kept, deadline, tag);
        if (n <= 0) return n < 0 ? -1 : static_cast<long>(kept);
        const long whole = end.in(reply + kept, n);
        watch(scan, reply + kept, n, whole);
        if (whole >= 0) return static_cast<long>(kept) + whole;
        kept += static_cast<std::size_t>(n);
    }
    // The rest of a reply longer than its first line or the buffer, read
    // with the same size and passed over.
    char rest[smtpReadMax];
    size = std::min(size, sizeof rest);
    for (long more; (more = receive(rest, size, deadline, tag)) != 0;) {
        if (more < 0) return -1;
        const long whole = end.in(rest, more);
        watch(scan, rest, more, whole);
        if (whole >= 0) break;
    }
    return static_cast<long>(kept);
}

}  // namespace

long smtpRecv(char *reply, std::size_t size, const char *tag, ExtensionScan *scan) {
    const Deadline deadline(*waitLimit);
    const long n = readReply(reply, size, deadline, tag, scan);
    if (n < 0) smtpSayIfLate(deadline);
    return n;
}

long smtpQuit(char *reply, std::size_t size) {
    smtpWithin(smtpCommandLimit);
    return smtpSendLine(reply, size, nullptr, "QUIT\r\n") < 0 ? -1 : smtpRecv(reply, size, nullptr);
}

bool smtpRefused(const char *reply, long n) { return n > 0 && (reply[0] == '4' || reply[0] == '5'); }

bool smtpReplyIs(const char *reply, long n, const char *code) {
    return n >= 3 && std::memcmp(reply, code, 3) == 0;
}

long smtpAwaitPrompt(char *reply, std::size_t size, const char *tag) {
    long n;
    do {
        std::memset(reply, 0, size);
        n = smtpRecv(reply, size, tag);
    } while (n > 0 && !smtpReplyIs(reply, n, "334"));
    return n;
}

bool smtpFits(const char *value, std::size_t limit, const char *what) {
    if (std::strlen(value) <= limit) return true;
    smtpSay("%s is longer than %zu characters", what, limit);
    return false;
}

std::size_t smtpBase64LineSize(std::size_t length) { return (length + 2) / 3 * 4 + 3; }

long smtpBase64Line(char *line, std::size_t size, const char *data, int length) {
    const std::size_t need = smtpBase64LineSize(static_cast<std::size_t>(length));
    if (need > size) return -1;  // the text, CR LF and the NUL
    const char *text = base64_encode(data, &length);
    if (!text) return -1;
    char *out = line;
    for (char *const end = line + need - 3; *text && out < end; ++text)
        if (*text != '\n') *out++ = *text;
    std::memcpy(out, "\r\n", 3);
    return out + 2 - line;
}

bool smtpCredentialsSet() {
    if (Username && Password) return true;
    smtpSay("the login needs a user name (u) and a password (P)");
    return false;
}

}  // namespace zezarur::smtp
