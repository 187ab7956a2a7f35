// What the mailer's steps share: the session socket, composing a line into a
// fixed buffer and sending exactly it, whole replies, reply codes.
#pragma once

#include <cstddef>

#include "platform/deadline.hpp"
#include "smtp/extensions.hpp"

namespace zezarur {
struct TlsSession;
}

namespace zezarur::smtp {

// The connected socket of the running mail session; -1 when none.
extern int smtpSocket;
// The TLS session on it once one has been opened (S or T): every send and
// receive then goes through it.
extern TlsSession *smtpTls;

// The buffer of the greeting, the hello and CRAM-MD5: lines are composed,
// and replies read, 420 bytes at a time, so that its last byte stays a NUL.
constexpr std::size_t smtpBufferSize = 421;
constexpr std::size_t smtpReadMax = smtpBufferSize - 1;

// Says "smtp: " and the text, one line on the error stream.
void smtpSay(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The time limit of each wait that follows (each send, each whole reply),
// until another is set; the command limit at first.
void smtpWithin(const TimeLimit &limit);
// When the wait that just failed had run out of its time, says which limit
// it was on the error stream.
void smtpSayIfLate(const Deadline &deadline);

// Formats into line (at most bound bytes with the NUL) and sends exactly the
// formatted length.  A line that would not fit is refused, never cut: -1, as
// for a failed send.  tag names the perror message of a failed send (none
// when null).  The byte count sent, or -1.
long smtpSendLine(char *line, std::size_t bound, const char *tag, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
// Sends bytes as they are.  A server that has gone away gives -1 (EPIPE),
// never SIGPIPE, which would end the firmware program that runs the applet.
long smtpSend(const char *data, std::size_t len, const char *tag);
// Reads one whole reply, to the line feed of its last line, in reads of up to
// size bytes (smtpReadMax at most), however the network cuts it: reply gets the
// bytes up to its first line's end (as many as size holds), so that the code
// is judged on a whole line; the rest of a longer reply is passed over, so
// that the next step never starts on it.  The reply's bytes in reply (those
// after its end, which a server that answers in step never sends, left out),
// what came before the server closed (0: nothing), or -1.  The reply's
// every byte is fed to scan when one is given.
long smtpRecv(char *reply, std::size_t size, const char *tag, ExtensionScan *scan = nullptr);
// Ends the session politely: QUIT, within the command limit, and its reply
// read into the buffer of size bytes (not judged).  The reply's byte count,
// or -1.
long smtpQuit(char *reply, std::size_t size);
// Whether the n bytes received are a refusal: a 4xx or 5xx code.
bool smtpRefused(const char *reply, long n);
// Whether the n bytes received begin with the three-digit code.
bool smtpReplyIs(const char *reply, long n, const char *code);
// Reads replies into the cleared buffer until one begins with 334 (the lines
// before it, the rest of a hello reply, are passed over) or a read gives
// nothing: the last read's byte count, or -1.
long smtpAwaitPrompt(char *reply, std::size_t size, const char *tag);
// Whether value has at most limit characters; says "smtp: WHAT is longer
// than LIMIT characters" on the error stream when not.
bool smtpFits(const char *value, std::size_t limit, const char *what);

// The Base64 of length bytes of data as one unbroken line ended by CR LF
// (the codec's line feeds left out), NUL-terminated in line of size bytes.
// Its length, or -1 when it does not fit or cannot be encoded.
long smtpBase64Line(char *line, std::size_t size, const char *data, int length);
// The length of that line with its NUL, for a buffer to hold it.
std::size_t smtpBase64LineSize(std::size_t length);

// Whether the sender, recipient and subject fit the mail's 100-character
// lines; says which does not on the error stream.
bool smtpMailFits(const char *subject, const char *to, const char *from);

// Whether Username and Password are both set, as both logins need them;
// says so on the error stream when not.
bool smtpCredentialsSet();

}  // namespace zezarur::smtp
