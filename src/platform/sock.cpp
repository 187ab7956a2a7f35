#include "platform/sock.hpp"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace zezarur {
namespace {

// Whether a blocking call ended only because its slice of the wait ran out
// (connect says so with EINPROGRESS, then EALREADY).
bool sliceRanOut(long result) {
    return result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS ||
                          errno == EALREADY);
}

// Runs call, a blocking call on fd, in slices of the deadline given to the
// socket as its send and receive time-outs, until it is done or the
// deadline has passed (ETIMEDOUT).  A connect in progress goes on waiting
// when called again.
template <typename Call>
long within(int fd, const Deadline &deadline, Call call) {
    for (;;) {
        if (deadline.passed()) {
            errno = ETIMEDOUT;
            return -1;
        }
        const timeval slice = deadline.slice();
        if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice) < 0 ||
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice) < 0)
            return -1;
        const long result = call();
        if (!sliceRanOut(result)) return result;
    }
}

// Repeats call(done) until it has moved size bytes or the peer closed
// (result 0): the bytes moved, or -1.
template <typename Call>
long whole(std::size_t size, Call call) {
    std::size_t done = 0;
    while (done < size) {
        const long n = call(done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

}  // namespace

sockaddr_in inetAddress(in_addr address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr = address;
    return a;
}

int tcpSocket(const char *tag) { return reported(::socket(AF_INET, SOCK_STREAM, 0), tag); }

int bindTo(int fd, in_addr address, const char *tag) {
    const sockaddr_in local = inetAddress(address, 0);
    return reported(::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local), tag);
}

int connectTo(int fd, const sockaddr_in &to, const Deadline &deadline, const char *tag) {
    const auto *address = reinterpret_cast<const sockaddr *>(&to);
    return static_cast<int>(
        reported(within(fd, deadline, [&] { return ::connect(fd, address, sizeof to); }), tag));
}

int connectTo(int fd, in_addr address, std::uint16_t port, const Deadline &deadline, const char *tag) {
    return connectTo(fd, inetAddress(address, port), deadline, tag);
}

long sendAll(int fd, const void *buffer, std::size_t len, const Deadline &deadline, const char *tag) {
    const auto *bytes = static_cast<const char *>(buffer);
    const long sent = whole(len, [&](std::size_t done) {
        return within(fd, deadline, [&] { return ::send(fd, bytes + done, len - done, MSG_NOSIGNAL); });
    });
    return reported(sent, tag);
}

long recvOnce(int fd, void *buffer, std::size_t size, const Deadline &deadline, const char *tag) {
    return reported(within(fd, deadline, [&] { return ::recv(fd, buffer, size, 0); }), tag);
}

long recvAll(int fd, void *buffer, std::size_t size, const Deadline &deadline, const char *tag) {
    auto *bytes = static_cast<char *>(buffer);
    const long got = whole(size, [&](std::size_t done) {
        return within(fd, deadline, [&] { return ::recv(fd, bytes + done, size - done, 0); });
    });
    return reported(got, tag);
}

bool resolveFirst(const char *host, in_addr *address) {
    const hostent *h = ::gethostbyname(host);
    if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0]) return false;
    std::memcpy(address, h->h_addr_list[0], sizeof *address);
    return true;
}

}  // namespace zezarur
