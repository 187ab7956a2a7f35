// Replies read whole past the read sizes of sendmail (102 bytes), LOGIN (20)
// and CRAM-MD5 (420), against a server thread on loopback: a refusal just
// past the first read is no reply of its own, or the session would get out
// of step and fail.  Without the sandbox the LAN interface is unknown, so
// the client's socket is not bound.
#include <zezarur/zezarur.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// smtpMain's result against a server that sends the greeting at once and
// then a reply once each line of the client's has come (after a "354", the
// data up to the end mark count as one line): the hello reply, the login's
// replies, then those of MAIL, RCPT, DATA, the end mark and QUIT.
int smtp(Strings args, Strings replies, const std::string &mailReply = "250 ok\r\n") {
    replies.insert(replies.begin(), {"220 hi\r\n", "250 hi\r\n"});
    replies.insert(replies.end(), {mailReply, "250 ok\r\n", "354 go\r\n", "250 ok\r\n", "221 bye\r\n"});
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::thread server([&] {
        int fd = accept(listener, nullptr, nullptr);
        std::string got;
        for (std::size_t n = 0, used = 0, end = 0; n < replies.size(); ++n) {
            const std::string mark = n > 0 && replies[n - 1].starts_with("354") ? "\r\n.\r\n" : "\n";
            for (char chunk[512]; n > 0 && (end = got.find(mark, used)) == std::string::npos;) {
                ssize_t r = read(fd, chunk, sizeof chunk);
                if (r <= 0) break;
                got.append(chunk, static_cast<std::size_t>(r));
            }
            used = n > 0 ? end + mark.size() : 0;
            if (end == std::string::npos || write(fd, replies[n].data(), replies[n].size()) < 0) break;
        }
        close(fd);
    });
    args.insert(args.begin(), {"smtp", "C", std::to_string(ntohs(address.sin_port)), "i", "127.0.0.1",
                               "t", "c@d", "s", "Alert", "f", "a@b"});
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    int result = smtpMain(static_cast<int>(argv.size()), argv.data());
    shutdown(listener, SHUT_RDWR);  // ends an accept that a run which never connected left waiting
    server.join();
    close(listener);
    return result;
}

TEST(SmtpReplies, ReadWholePastTheReadSize) {
    testing::internal::CaptureStdout();  // the CRAM-MD5 digest's trace lines
    EXPECT_EQ(smtp({"n"}, {}, "250 " + std::string(98, 'x') + "550 no\r\n"), 0) << "MAIL's reply, 102 a read";
    EXPECT_EQ(smtp({"p", "u", "abc", "P", "def"},
                   {"334 VXNlcm5hbWU6\r\n", "334 " + std::string(16, 'x') + "535 no\r\n", "235 ok\r\n"}),
              0)
        << "the password prompt, 20";
    EXPECT_EQ(smtp({"c", "u", "tim", "P", "pw"},
                   {"334 PDEuMkB4Pg==\r\n", "235 " + std::string(416, 'x') + "550 no\r\n"}),
              0)
        << "the CRAM-MD5 verdict, 420";
    testing::internal::GetCapturedStdout();
}

}  // namespace
