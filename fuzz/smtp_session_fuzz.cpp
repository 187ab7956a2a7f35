// The smtp applet against a mail server played by a thread on loopback.  An
// arbitrary one sends the input's bytes and closes: every login ends in 0 or
// -1 with the credentials released.  An honest one answers each command in
// step and reads the data strictly (RFC 5321 4.5.2): whatever the log holds,
// the data, dot-unstuffed, give back exactly the log's lines with NUL and CR
// left out, end only at the final ".", and only QUIT follows.
//
// Input: byte 0 chooses the server and the login (0 c, 1 p, 2 n against the
// arbitrary server, 3 n against the honest one).  Arbitrary: byte 1 the
// length of the log, then the log, then the server's bytes.  Honest: the
// rest of the input is the log.
#include <zezarur/zezarur.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "sandbox.hpp"

namespace {

using Lines = std::vector<std::string>;
int listener = -1;
std::string port, logPath;

// Reads without delaying ACKs, so that the client's small sends never wait.
long receive(int fd, char *buffer, std::size_t size) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    return recv(fd, buffer, size, 0);
}

void say(int fd, const std::string &text) { send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

// Keeps the client's lines as they come, CR LF and all.  The honest server
// answers each in step; the arbitrary one has sent its bytes and shut its
// side, so its answers go nowhere.
void serve(int fd, bool honest, const std::string &bytes, Lines &lines) {
    say(fd, honest ? "220 fuzz\r\n" : bytes);
    if (!honest) shutdown(fd, SHUT_WR);
    std::string buffer;
    char chunk[4096];
    for (bool data = false;;) {
        std::size_t end;
        for (long n; (end = buffer.find('\n')) == std::string::npos; buffer.append(chunk, std::size_t(n)))
            if ((n = receive(fd, chunk, sizeof chunk)) <= 0) return;
        const std::string &line = lines.emplace_back(buffer, 0, end);
        buffer.erase(0, end + 1);
        if (data && line != ".\r") continue;
        say(fd, line == "DATA\r" ? "354 go\r\n" : line == "QUIT\r" ? "221 bye\r\n" : "250 ok\r\n");
        data = !data && line == "DATA\r";
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    logPath = fuzzSandbox() + "/log";  // and standard output, the CRAM-MD5 digest's trace, to /dev/null
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        std::abort();
    port = std::to_string(ntohs(address.sin_port));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 1 << 16) return -1;
    const int choice = data[0] % 4;
    const char *bytes = reinterpret_cast<const char *>(data) + 2 - (choice == 3);
    const std::string log(bytes, choice == 3 ? size - 1 : std::min<size_t>(data[1], size - 2));
    std::FILE *file = std::fopen(logPath.c_str(), "wb");
    if (!file || std::fwrite(log.data(), 1, log.size(), file) != log.size() || std::fclose(file) != 0)
        std::abort();
    const std::string reply(bytes + log.size(), reinterpret_cast<const char *>(data) + size);
    Lines lines;
    std::thread server([&] {
        int fd = accept(listener, nullptr, nullptr);
        serve(fd, choice == 3, reply, lines);
        close(fd);
    });
    std::vector<const char *> args = {"smtp", "i", "127.0.0.1", "C", port.c_str(), "t", "c@d.example",
                                      "s", "Alert", "f", "a@b.example"};
    if (choice < 2) args.insert(args.end(), {choice ? "p" : "c", "u", "user", "P", "secret"});
    else args.push_back("n");
    args.push_back(logPath.c_str());
    const int result = smtpMain(static_cast<int>(args.size()), const_cast<char **>(args.data()));
    server.join();
    // A run ends in 0 or -1 and releases the credentials.
    if ((result != 0 && result != -1) || Username || Password) std::abort();
    if (choice != 3) return 0;
    // What a strict server must read: the commands, the headers (the date as
    // it came), the log's lines with NUL and CR left out and a leading dot
    // doubled (an empty line after a last line feed), ".", QUIT; each line
    // ended by CR LF, with no other CR.
    Lines want = {"ehlo localhost", "MAIL FROM: <a@b.example>", "RCPT TO: <c@d.example>", "DATA",
                  "From: \"a@b.example\" <a@b.example>", "", "Subject: Alert", "To: c@d.example", "", ""};
    for (char c : log.empty() ? std::string("No Data Available.\n") : log)
        if (c == '\n') want.emplace_back();
        else if (c != '\0' && c != '\r') want.back().append(want.back().empty() && c == '.' ? 2u : 1u, c);
    want.insert(want.end(), {".", "QUIT"});
    for (std::string &line : want) line += '\r';
    if (lines.size() > 5) want[5] = lines[5];
    if (result != 0 || lines != want) std::abort();
    return 0;
}
