// sendmail: the envelope, the headers, the log file as the body, the
// end-of-data mark and QUIT over the open session.  A refusal of the envelope
// or of the message fails the mail; otherwise the reply to QUIT decides.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/line.hpp"
#include "platform/owned.hpp"
#include "smtp/session.hpp"

namespace zezarur::smtp {
namespace {

constexpr std::size_t lineSize = 102;  // replies are read this many bytes at a time
constexpr std::size_t lineChars = 100;
constexpr std::size_t lineBound = lineChars + 1;
constexpr int bodySize = 100;

constexpr char mailFrom[] = "MAIL FROM: <%s>\r\n";
constexpr char rcptTo[] = "RCPT TO: <%s>\r\n";
constexpr char fromHeader[] = "From: \"%s\" <%s>\r\n";
constexpr char subjectHeader[] = "Subject: %s\r\n";
constexpr char toHeader[] = "To: %s\r\n";
constexpr char dateHeader[] = "Date: %a, %d %b %Y %H:%M:%S %z\r\n";

// The longest value that values copies of, with the rest of the format,
// still fit a line.
template <std::size_t N>
constexpr std::size_t room(const char (&)[N], std::size_t values) {
    return (lineChars - (N - 1 - 2 * values)) / values;
}
constexpr std::size_t senderLimit = std::min(room(mailFrom, 1), room(fromHeader, 2));
constexpr std::size_t recipientLimit = std::min(room(rcptTo, 1), room(toHeader, 1));
constexpr std::size_t subjectLimit = room(subjectHeader, 1);
static_assert(senderLimit == 43 && recipientLimit == 87 && subjectLimit == 89);

// The reply to a command already sent (sent: its result): its byte count, or -1.
long replyTo(char *line, long sent) { return sent < 0 ? -1 : smtpRecv(line, lineSize, nullptr); }

// Whether MAIL, RCPT, DATA or the message was answered and not refused.  A
// refusal ends the session with QUIT: after it the headers and the log would
// reach the server as commands.  refusedAs: when set, the refusal's first
// line is said on the error stream after it.
bool accepted(char *line, long sent, const char *refusedAs = nullptr) {
    long n = replyTo(line, sent);
    if (n < 0) return false;
    if (!smtpRefused(line, n)) return true;
    if (refusedAs) {
        const auto *end = static_cast<const char *>(std::memchr(line, '\n', static_cast<std::size_t>(n)));
        int length = static_cast<int>(end ? end - line : n);
        if (length > 0 && line[length - 1] == '\r') --length;
        smtpSay("%s: %.*s", refusedAs, length, line);
    }
    smtpQuit(line, lineSize);
    return false;
}

bool sendHeaders(char *line, const char *subject, const char *to, const char *from) {
    std::time_t now = std::time(nullptr);
    std::tm local;
    if (smtpSendLine(line, lineBound, nullptr, fromHeader, from, from) < 0 ||
        !localtime_r(&now, &local))
        return false;
    std::size_t n = std::strftime(line, lineBound, dateHeader, &local);
    return n > 0 && smtpSend(line, n, nullptr) >= 0 &&
           smtpSendLine(line, lineBound, nullptr, subjectHeader, subject) >= 0 &&
           smtpSendLine(line, lineBound, nullptr, toHeader, to) >= 0 &&
           smtpSendLine(line, lineBound, nullptr, "\r\n") >= 0;
}

// The log a line at a time, as bytes: a log line may hold anything, NULs
// included.  A line longer than the body buffer goes in pieces, back to back.
// NUL and CR are left out: a mail's text line cannot carry them, and a lenient
// server takes a bare CR for a line end, so a log line "x\r.\r" would end
// the data there and the rest of the log would be read as commands.  A line
// that begins with a dot gets a second one, so that the server reads it as
// text, not as the end of the data (RFC 5321 4.5.2).  A missing or empty log
// still makes a mail.
bool sendBody(char *line, const char *file) {
    char piece[bodySize];
    AdpFile log(adpFileOpen(file, "r"));
    long n = log ? readLine(piece, bodySize, log.get()) : -1;
    if (n < 0) {
        smtpSendLine(line, lineBound, nullptr, "%s\r\n", "No Data Available.");
        return true;
    }
    static_assert(lineSize >= 1 + (bodySize - 1) + 2, "a doubled dot, a piece and CR LF fit a line");
    bool ok = true, lineStart = true;
    do {
        bool ends = piece[n - 1] == '\n';
        char *const text = line + 1;  // line[0]: room for a doubled dot
        char *out = text;
        for (const char *p = piece; p < piece + n - ends; ++p)
            if (*p != '\0' && *p != '\r') *out++ = *p;
        char *start = lineStart && out > text && *text == '.' ? line : text;
        *line = '.';
        if (ends) out = std::copy_n("\r\n", 2, out);
        if (out > start) ok = smtpSend(start, static_cast<std::size_t>(out - start), nullptr) >= 0;
        lineStart = ends || (lineStart && out == text);
    } while (ok && (n = readLine(piece, bodySize, log.get())) >= 0);
    return ok;
}

}  // namespace

bool smtpMailFits(const char *subject, const char *to, const char *from) {
    return smtpFits(from, senderLimit, "the sender address") &&
           smtpFits(to, recipientLimit, "the recipient address") &&
           smtpFits(subject, subjectLimit, "the subject");
}

}  // namespace zezarur::smtp

using namespace zezarur;
using namespace zezarur::smtp;

extern "C" int sendmail(const char *file, const char *subject, const char *to, const char *from) {
    if (!smtpMailFits(subject, to, from)) return -1;
    char line[lineSize] = {};
    smtpWithin(smtpCommandLimit);
    if (!accepted(line, smtpSendLine(line, lineBound, nullptr, mailFrom, from)) ||
        !accepted(line, smtpSendLine(line, lineBound, nullptr, rcptTo, to)))
        return -1;
    smtpWithin(smtpDataLimit);
    if (!accepted(line, smtpSendLine(line, lineBound, nullptr, "DATA\r\n"))) return -1;
    smtpWithin(smtpDataBlockLimit);
    if (!sendHeaders(line, subject, to, from) || !sendBody(line, file)) return -1;
    smtpWithin(smtpDataEndLimit);
    if (!accepted(line, smtpSendLine(line, lineBound, nullptr, "\r\n.\r\n"), "the message was refused"))
        return -1;
    long n = smtpQuit(line, lineSize);
    return smtpReplyIs(line, n, "250") || smtpReplyIs(line, n, "221") ? 0 : -1;
}
