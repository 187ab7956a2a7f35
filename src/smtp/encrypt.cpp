// encrypt: the CRAM-MD5 login (RFC 2195) over the open session.
#include <zezarur/zezarur.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/owned.hpp"
#include "smtp/session.hpp"

char *challenge = nullptr;

using namespace zezarur::smtp;

extern "C" int encrypt(void) {
    if (!smtpCredentialsSet()) return -1;
    char buffer[smtpBufferSize] = {};  // its last byte is never written: a NUL for the decoder
    if (smtpSendLine(buffer, smtpReadMax, "send: ", "auth cram-md5\r\n") < 0) return -1;
    long n = smtpAwaitPrompt(buffer, smtpReadMax, "recv: ");
    if (n < 0) return -1;
    const char *blank = static_cast<const char *>(std::memchr(buffer, ' ', static_cast<std::size_t>(n)));
    if (!blank) {
        smtpSay("the server sent no CRAM-MD5 challenge");
        return -1;
    }
    // The text after the blank, its CR LF included (the decoder skips it).
    int length = static_cast<int>(buffer + n - (blank + 1));
    challenge = base64_decode(blank + 1, &length);

    char *response = nullptr;
    if (!challenge || crammd5digest(Password, challenge, &response) != 0) return -1;
    zezarur::Malloced<char> digest(response);
    std::size_t answerSize = std::strlen(Username) + std::strlen(response) + 2;
    zezarur::Malloced<char> answer = zezarur::allocate(answerSize);
    if (!answer) return -1;
    std::snprintf(answer.get(), answerSize, "%s %s", Username, response);

    long len = smtpBase64Line(buffer, smtpReadMax, answer.get(), static_cast<int>(answerSize - 1));
    if (len < 0) {
        smtpSay("the user name is too long for the CRAM-MD5 answer");
        return -1;
    }
    if (smtpSend(buffer, static_cast<std::size_t>(len), "send: ") < 0) return -1;
    n = smtpRecv(buffer, smtpReadMax, "recv: ");
    return smtpReplyIs(buffer, n, "235") ? 0 : -1;
}
