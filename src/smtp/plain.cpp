// plain: the LOGIN login over the open session, the user name and the
// password each sent as a Base64 line after the server's prompt.
#include <zezarur/zezarur.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/owned.hpp"
#include "platform/report.hpp"
#include "smtp/session.hpp"

namespace {

constexpr std::size_t lineSize = 100;  // holds the lines of credentials of up to 72 bytes
constexpr std::size_t replySize = 20;

bool sendBase64(char *line, std::size_t size, const char *text) {
    long n = zezarur::smtp::smtpBase64Line(line, size, text, static_cast<int>(std::strlen(text)));
    return n >= 0 && zezarur::smtp::smtpSend(line, static_cast<std::size_t>(n), nullptr) >= 0;
}

}  // namespace

using namespace zezarur::smtp;

extern "C" int plain(void) {
    if (!smtpCredentialsSet()) return -1;
    // Longer credentials get a line buffer that holds their Base64 lines.
    std::size_t size = std::max({lineSize, smtpBase64LineSize(std::strlen(Username)),
                                 smtpBase64LineSize(std::strlen(Password))});
    zezarur::Malloced<char> line = zezarur::allocate(size);
    if (!line) {
        zezarur::report("malloc Error:");
        return -1;
    }
    char reply[replySize];
    if (smtpSendLine(line.get(), size, nullptr, "auth login\r\n") < 0) return -1;
    long n = smtpAwaitPrompt(reply, replySize, nullptr);
    if (n <= 0 || !std::memchr(reply, ' ', static_cast<std::size_t>(n))) return -1;

    if (!sendBase64(line.get(), size, Username) || smtpRecv(reply, replySize, nullptr) < 0 ||
        !sendBase64(line.get(), size, Password))
        return -1;
    n = smtpRecv(reply, replySize, nullptr);
    return smtpReplyIs(reply, n, "235") ? 0 : -1;  // 535, 502 and the rest refuse
}
