// The smtp applet against two kinds of mail server, a thread on loopback.
// An arbitrary one: it greets, answers the hello, the CRAM-MD5 (encrypt) or
// LOGIN (plain) exchange and sendmail's commands with whatever bytes the
// input holds, then closes; the client reads the bytes in its own read sizes.
// An honest one, which answers each command in step and reads the data
// strictly (RFC 5321 4.5.2): whatever the log holds, the data, dot-unstuffed,
// give back exactly the log's lines with NUL and CR left out, they end only
// at the final ".", and nothing but QUIT follows them.
//
// Input: byte 0 chooses the server and the login (0 c, 1 p, 2 n against the
// arbitrary server, 3 n against the honest one).  Arbitrary: byte 1 the
// length of the log file that makes the body, then the log, then what the
// server sends.  Honest: the rest of the input is the log.
#include <zezarur/zezarur.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::mutex lock;
std::condition_variable served;
std::string serverBytes;
bool honest = false, busy = false;
std::string port, logPath;
int logFd = -1;
// What the honest server read: the data's lines, dot-unstuffed; the commands
// after the final "."; whether every line was clean (CR LF only at its end,
// no other CR, LF or NUL).
Lines dataLines, afterData;
bool clean = true;

// Reads without waiting on delayed ACKs, so that the client's small sends
// never wait.
long quickRecv(int fd, char *buffer, std::size_t size) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    return recv(fd, buffer, size, 0);
}

// Sends the input, closes its side, and reads what the client sends until
// it closes.
void serveArbitrary(int fd, const std::string &bytes) {
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    char sink[4096];
    while (quickRecv(fd, sink, sizeof sink) > 0) continue;
}

// The client's lines, each ended by a line feed; false when it has closed.
class LineReader {
   public:
    explicit LineReader(int fd) : fd(fd) {}
    bool next(std::string &line) {
        std::size_t end;
        while ((end = buffer.find('\n')) == std::string::npos) {
            char chunk[4096];
            long n = quickRecv(fd, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        line.assign(buffer, 0, end);
        buffer.erase(0, end + 1);
        if (line.empty() || line.back() != '\r') clean = false;
        if (!line.empty()) line.pop_back();
        if (line.find_first_of(std::string("\r\0", 2)) != std::string::npos) clean = false;
        return true;
    }

   private:
    int fd;
    std::string buffer;
};

void reply(int fd, const char *text) { send(fd, text, std::strlen(text), MSG_NOSIGNAL); }

void serveHonestly(int fd) {
    LineReader client(fd);
    reply(fd, "220 fuzz\r\n");
    enum { commands, data, done } state = commands;
    for (std::string line; client.next(line);) {
        if (state == data) {
            if (line == ".") {
                state = done;
                reply(fd, "250 queued\r\n");
            } else {
                dataLines.push_back(line[0] == '.' ? line.substr(1) : line);
            }
            continue;
        }
        if (state == done) afterData.push_back(line);
        if (line == "DATA" && state == commands) state = data;
        reply(fd, state == data ? "354 go\r\n" : line == "QUIT" ? "221 bye\r\n" : "250 ok\r\n");
    }
}

void serve(int fd) {
    std::string bytes;
    bool playHonest;
    {
        std::lock_guard<std::mutex> hold(lock);
        bytes = serverBytes;
        playHonest = honest;
    }
    if (playHonest)
        serveHonestly(fd);
    else
        serveArbitrary(fd, bytes);
    close(fd);
    std::lock_guard<std::mutex> hold(lock);
    busy = false;
    served.notify_one();
}

// The log's lines as the data should give them back: NUL and CR left out; a
// last line without a line feed ended by the end mark's CR LF, one with it
// followed by the empty line that the mark's CR LF makes.
Lines expectedBody(const std::string &log) {
    if (log.empty()) return {"No Data Available.", ""};
    Lines lines(1);
    for (char c : log) {
        if (c == '\n')
            lines.emplace_back();
        else if (c != '\0' && c != '\r')
            lines.back() += c;
    }
    return lines;
}

void listenOnLoopback() {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener, 4) != 0)
        std::abort();
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    port = std::to_string(ntohs(address.sin_port));
    std::thread([listener] {
        for (;;) serve(accept(listener, nullptr, nullptr));
    }).detach();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::freopen("/dev/null", "w", stdout);  // the CRAM-MD5 digest's trace lines
    listenOnLoopback();
    logFd = memfd_create("smtp-log", 0);
    logPath = "/proc/self/fd/" + std::to_string(logFd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 1 << 16) return -1;
    const char *login[][5] = {{"c", "u", "user", "P", "secret"},
                              {"p", "u", "user", "P", "secret"},
                              {"n", nullptr},
                              {"n", nullptr}};
    const int choice = data[0] % 4;
    const char *const *mode = login[choice];
    const bool check = choice == 3;
    size_t logLength = check ? size - 1 : std::min<size_t>(data[1], size - 2);
    const uint8_t *logBytes = data + (check ? 1 : 2);
    if (ftruncate(logFd, 0) != 0 ||
        pwrite(logFd, logBytes, logLength, 0) != static_cast<ssize_t>(logLength))
        std::abort();
    {
        std::lock_guard<std::mutex> hold(lock);
        serverBytes.assign(reinterpret_cast<const char *>(logBytes) + logLength,
                           reinterpret_cast<const char *>(data) + size);
        honest = check;
        dataLines.clear();
        afterData.clear();
        clean = true;
        busy = true;
    }
    const char *args[20] = {"smtp", "i", "127.0.0.1", "C", port.c_str(), "t", "c@d.example", "s", "Alert",
                            "f", "a@b.example"};
    int argc = 11;
    for (int i = 0; i < 5 && mode[i]; ++i) args[argc++] = mode[i];
    args[argc++] = logPath.c_str();
    int result = smtpMain(argc, const_cast<char **>(args));
    if (result != 0 && result != -1) std::abort();
    if (Username || Password) std::abort();  // a run releases the credentials

    // The server's side of this session is done before the next one starts.
    std::unique_lock<std::mutex> hold(lock);
    served.wait(hold, [] { return !busy; });
    if (!check) return 0;
    // The headers, the empty line that ends them, then the log.
    constexpr long headers = 5;
    if (result != 0 || !clean || dataLines.size() < headers || !dataLines[headers - 1].empty() ||
        Lines(dataLines.begin() + headers, dataLines.end()) != expectedBody(std::string(reinterpret_cast<const char *>(logBytes), logLength)) ||
        afterData != Lines{"QUIT"})
        std::abort();
    return 0;
}
