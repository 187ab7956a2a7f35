#include "platform/sock.hpp"

#include <netdb.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>

namespace zezarur {

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

int connectTo(int fd, const sockaddr_in &to, const char *tag) {
    return reported(::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to), tag);
}

int connectTo(int fd, in_addr address, std::uint16_t port, const char *tag) {
    return connectTo(fd, inetAddress(address, port), tag);
}

long sendOnce(int fd, const void *buffer, std::size_t len, const char *tag) {
    return reported(::send(fd, buffer, len, MSG_NOSIGNAL), tag);
}

long recvOnce(int fd, void *buffer, std::size_t size, const char *tag) {
    return reported(::recv(fd, buffer, size, 0), tag);
}

bool resolveFirst(const char *host, in_addr *address) {
    const hostent *h = ::gethostbyname(host);
    if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0]) return false;
    std::memcpy(address, h->h_addr_list[0], sizeof *address);
    return true;
}

}  // namespace zezarur
