// An arbitrary mail server played to the smtp applet: it greets, answers
// the hello, the CRAM-MD5 (encrypt) or LOGIN (plain) exchange and sendmail's
// commands with whatever bytes the input holds, then closes.  The server is
// a thread on loopback; the client reads the bytes in its own read sizes.
//
// Input: byte 0 chooses the login (c, p or n), byte 1 the length of the log
// file that makes the body, then the log, then what the server sends.
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
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex lock;
std::condition_variable served;
std::string serverBytes;
bool busy = false;
std::string port, logPath;
int logFd = -1;

// Sends the input, closes its side, and reads what the client sends until
// it closes; quick ACKs, so that the client's small sends never wait.
void serve(int fd) {
    std::string bytes;
    {
        std::lock_guard<std::mutex> hold(lock);
        bytes = serverBytes;
    }
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    char sink[4096];
    int one = 1;
    do setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    while (recv(fd, sink, sizeof sink, 0) > 0);
    close(fd);
    std::lock_guard<std::mutex> hold(lock);
    busy = false;
    served.notify_one();
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
                              {"n", nullptr}};
    const char *const *mode = login[data[0] % 3];
    size_t logLength = std::min<size_t>(data[1], size - 2);
    if (ftruncate(logFd, 0) != 0 ||
        pwrite(logFd, data + 2, logLength, 0) != static_cast<ssize_t>(logLength))
        std::abort();
    {
        std::lock_guard<std::mutex> hold(lock);
        serverBytes.assign(reinterpret_cast<const char *>(data) + 2 + logLength, size - 2 - logLength);
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
    return 0;
}
