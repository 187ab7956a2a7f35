// TLS on the mail session: from the first byte (T) or after STARTTLS (S).
// A failure is said in one line on the error stream; nothing of the user's
// is sent before TLS is open.
#pragma once

#include <cstddef>

namespace zezarur::smtp {

// Shakes hands on the session socket, checking the certificate against
// server (the i value).
bool smtpTlsOpen(const char *server);
// After the greeting: EHLO, whose reply must list STARTTLS, STARTTLS,
// its 220, and the handshake; QUIT in clear when the server refuses.
// reply is a buffer of size bytes and one more for the NUL.
bool smtpStartTls(char *reply, std::size_t size, const char *server);
// Releases the TLS session, if any.
void smtpTlsEnd();

}  // namespace zezarur::smtp
