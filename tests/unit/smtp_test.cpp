// The mailer against a server played by a thread on loopback, a reply after
// each line the client sends: exact exchanges (RFC 2195, LOGIN) and whole
// replies past the read sizes (420, 102 or 20 bytes).  Without the sandbox
// the LAN interface is unknown, so the client's socket is not bound.
#include <zezarur/zezarur.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Reply 0 at once, reply N after the Nth line (DATA's lines up to the end
// mark count as one); then reads until the client closes.
std::string serve(int fd, const Strings &replies) {
    std::string received;
    std::size_t used = 0;
    bool data = false;
    for (std::size_t n = 0; n < replies.size(); ++n) {
        while (n > 0) {
            std::size_t end = received.find(data ? "\r\n.\r\n" : "\n", used);
            if (end != std::string::npos) {
                data = !data && received.compare(used, end - used, "DATA\r") == 0;
                used = end + 1;
                break;
            }
            char chunk[512];
            ssize_t got = read(fd, chunk, sizeof chunk);
            if (got <= 0) return received;
            received.append(chunk, static_cast<std::size_t>(got));
        }
        if (write(fd, replies[n].data(), replies[n].size()) < 0) return received;
    }
    char chunk[512];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        received.append(chunk, static_cast<std::size_t>(got));
    return received;
}

struct Outcome {
    int result;
    std::string received;
};

Outcome smtp(Strings args, const Strings &replies) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::string received;
    std::thread server([&] {
        int fd = accept(listener, nullptr, nullptr);
        received = serve(fd, replies);
        close(fd);
    });
    args.insert(args.begin(), {"smtp", "C", std::to_string(ntohs(address.sin_port))});
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int result = smtpMain(static_cast<int>(args.size()), argv.data());
    server.join();
    close(listener);
    return {result, received};
}

const Strings mailTo = {"i", "127.0.0.1", "t", "c@d", "s", "Alert", "f", "a@b"};
const std::string x16(16, 'x'), x98(98, 'x'), x416(416, 'x');
const std::string rfc2195Challenge = "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n";

Strings with(Strings args, const Strings &more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Greeting and hello, the login's replies, then MAIL, RCPT, DATA, end of data, QUIT.
Strings dialogue(const Strings &login, std::string endOfData = "250 ok\r\n",
                 std::string quit = "221 bye\r\n") {
    Strings replies = with({"220 hi\r\n", "250 hi\r\n"}, login);
    return with(replies, {"250 ok\r\n", "250 ok\r\n", "354 go\r\n", endOfData, quit});
}

struct Case {
    const char *name;
    Strings args;
    Strings replies;
    int result;
    const char *sent;  // a regular expression for what the server receives
    friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
};

const Case cases[] = {
    {"Rfc2195", with(mailTo, {"c", "u", "tim", "P", "tanstaaftanstaaf"}),
     dialogue({rfc2195Challenge, "235 ok\r\n"}), 0,
     "auth cram-md5\r\ndGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\nMAIL FROM: <a@b>\r\n"},
    {"LoginAbc", with(mailTo, {"p", "u", "abc", "P", "def"}),
     dialogue({"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n"}), 0,
     "auth login\r\nYWJj\r\nZGVm\r\nMAIL"},
    // Base64 of 100 bytes is 136 characters: one line, no line feed inside.
    {"LongLoginOneLine", with(mailTo, {"p", "u", std::string(100, 'u'), "P", "pw"}),
     dialogue({"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n"}), 0,
     "auth login\r\n(dXV1){33}dQ==\r\ncHc=\r\nMAIL"},
    // The CRAM-MD5 answer of a 279-character name is 416 characters, the
    // longest that fits the 420-byte line with CR LF; 280 does not.
    {"LongestCramName", with(mailTo, {"c", "u", std::string(279, 'u'), "P", "pw"}),
     dialogue({rfc2195Challenge, "235 ok\r\n"}), 0, "auth cram-md5\r\n[A-Za-z0-9+/]{416}\r\nMAIL"},
    {"CramNameTooLong", with(mailTo, {"c", "u", std::string(280, 'u'), "P", "pw"}),
     dialogue({rfc2195Challenge, "235 ok\r\n"}), -1, "auth cram-md5\r\n$"},
    // A reply is read whole, however many reads of 102, 20 or 420 bytes it
    // takes, and judged by its start: a "550" or "535" just past the first
    // read is no reply of its own, or the session would get out of step.
    {"WholeReplyPast102", with(mailTo, {"n"}),
     with({"220 hi\r\n", "250 hi\r\n", "250 " + x98 + "550 no\r\n"},
          {"250 ok\r\n", "354 go\r\n", "250 ok\r\n", "221 bye\r\n"}),
     0, "RCPT TO: <c@d>\r\nDATA\r\n"},
    {"WholeReplyPast20", with(mailTo, {"p", "u", "abc", "P", "def"}),
     dialogue({"334 VXNlcm5hbWU6\r\n", "334 " + x16 + "535 no\r\n", "235 ok\r\n"}), 0, "ZGVm\r\nMAIL"},
    {"WholeReplyPast420", with(mailTo, {"c", "u", "tim", "P", "pw"}),
     dialogue({rfc2195Challenge, "235 " + x416 + "550 no\r\n"}), 0, "MAIL FROM: <a@b>\r\nRCPT"},
    {"MultiLineGreeting", with(mailTo, {"n"}),
     with({"220-" + x416 + "\r\n220 hi\r\n", "250 hi\r\n"},
          {"250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 ok\r\n", "221 bye\r\n"}),
     0,
     "^ehlo localhost\r\nMAIL"},
};

class Smtp : public testing::TestWithParam<Case> {};

TEST_P(Smtp, Dialogue) {
    const Case &c = GetParam();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Outcome run = smtp(c.args, c.replies);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(run.result, c.result);
    EXPECT_TRUE(std::regex_search(run.received, std::regex(c.sent))) << run.received;
}

INSTANTIATE_TEST_SUITE_P(Exchanges, Smtp, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case> &row) { return row.param.name; });

}  // namespace
