// sendmail: the envelope, the headers, the log file as the body, the
// end-of-data mark and QUIT over the open session; the reply to QUIT decides.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "smtp/session.hpp"

namespace zezarur {
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

// A command already sent (sent: its result) and its reply, read and not examined.
bool answered(char *line, long sent) {
    return sent >= 0 && smtpRecv(line, lineSize, nullptr) >= 0;
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

// The log a line at a time; a line longer than the body buffer goes in
// pieces, back to back.  A missing or empty log still makes a mail.
bool sendBody(char *line, const char *file) {
    char piece[bodySize];
    std::FILE *log = adpFileOpen(file, "r");
    if (!log || !adpFileGets(piece, bodySize, log)) {
        if (log) adpFileClose(log);
        smtpSendLine(line, lineBound, nullptr, "%s\r\n", "No Data Available.");
        return true;
    }
    bool ok = true, lineStart = true;
    do {
        std::size_t n = std::strlen(piece);
        bool ends = n > 0 && piece[n - 1] == '\n';
        if (ends) piece[n - 1] = '\0';
        // A line that begins with a dot gets a second one, so that the
        // server reads it as text, not as the end of the data (RFC 5321 4.5.2).
        if (lineStart && piece[0] == '.') ok = smtpSend(".", 1, nullptr) >= 0;
        ok = ok && smtpSendLine(line, lineBound, nullptr, ends ? "%s\r\n" : "%s", piece) >= 0;
        lineStart = ends;
    } while (ok && adpFileGets(piece, bodySize, log));
    adpFileClose(log);
    return ok;
}

}  // namespace

bool smtpMailFits(const char *subject, const char *to, const char *from) {
    return smtpFits(from, senderLimit, "the sender address") &&
           smtpFits(to, recipientLimit, "the recipient address") &&
           smtpFits(subject, subjectLimit, "the subject");
}

}  // namespace zezarur

using namespace zezarur;

extern "C" int sendmail(const char *file, const char *subject, const char *to, const char *from) {
    if (!smtpMailFits(subject, to, from)) return -1;
    char line[lineSize] = {};
    if (!answered(line, smtpSendLine(line, lineBound, nullptr, mailFrom, from)) ||
        !answered(line, smtpSendLine(line, lineBound, nullptr, rcptTo, to)) ||
        !answered(line, smtpSendLine(line, lineBound, nullptr, "DATA\r\n")) ||
        !sendHeaders(line, subject, to, from) || !sendBody(line, file) ||
        !answered(line, smtpSendLine(line, lineBound, nullptr, "\r\n.\r\n")) ||
        smtpSendLine(line, lineBound, nullptr, "QUIT\r\n") < 0)
        return -1;
    long n = smtpRecv(line, lineSize, nullptr);
    return smtpReplyIs(line, n, "250") || smtpReplyIs(line, n, "221") ? 0 : -1;
}
