#include <zezarur/zezarur.h>  // before <unistd.h>, which <memory> may bring

#include "smtp/session.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/sock.hpp"

char *Username = nullptr;
char *Password = nullptr;

namespace zezarur {

int smtpSocket = -1;

long smtpSendLine(char *line, std::size_t bound, const char *tag, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, bound, format, args);
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) >= bound) return -1;
    return smtpSend(line, static_cast<std::size_t>(n), tag);
}

long smtpSend(const char *data, std::size_t len, const char *tag) {
    return sendOnce(smtpSocket, data, len, tag);
}

long smtpRecv(char *reply, std::size_t size, const char *tag) {
    return recvOnce(smtpSocket, reply, size, tag);
}

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
    std::fprintf(stderr, "smtp: %s is longer than %zu characters\n", what, limit);
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
    std::fputs("smtp: the login needs a user name (u) and a password (P)\n", stderr);
    return false;
}

}  // namespace zezarur
