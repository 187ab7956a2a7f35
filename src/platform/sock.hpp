// Socket steps shared by the network applets.  Each reports a failure with
// perror and the caller's tag (the tags differ per applet and are part of its
// output); a null tag reports nothing.  Results are the system call's.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace zezarur {

// socket(AF_INET, SOCK_STREAM, 0).
int tcpSocket(const char *tag);
// connect to address:port (address in network order, port in host order).
int connectTo(int fd, in_addr address, std::uint16_t port, const char *tag);
// One send of len bytes, flags 0.
long sendOnce(int fd, const void *buffer, std::size_t len, const char *tag);
// One recv of up to size bytes, flags 0: a reply is what one call returns.
long recvOnce(int fd, void *buffer, std::size_t size, const char *tag);
// The first IPv4 address of host by gethostbyname; false when it does not
// resolve (h_errno tells why, for herror).
bool resolveFirst(const char *host, in_addr *address);

}  // namespace zezarur
