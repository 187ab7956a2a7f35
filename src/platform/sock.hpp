// Socket steps shared by the network applets.  Each reports a failure with
// perror and the caller's tag (the tags differ per applet and are part of its
// output); a null tag reports nothing.  Results are the system call's.
// Every wait ends by a deadline: a call that it cuts short fails with
// ETIMEDOUT, whatever part of its work was done by then.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "platform/deadline.hpp"
#include "platform/report.hpp"

namespace zezarur {

// An IPv4 socket address (address in network order, port in host order).
sockaddr_in inetAddress(in_addr address, std::uint16_t port);

// socket(AF_INET, SOCK_STREAM, 0).
int tcpSocket(const char *tag);
// bind to address, any port.
int bindTo(int fd, in_addr address, const char *tag);
// connect to the address, or to address:port.
int connectTo(int fd, const sockaddr_in &to, const Deadline &deadline, const char *tag);
int connectTo(int fd, in_addr address, std::uint16_t port, const Deadline &deadline, const char *tag);
// Sends all len bytes: len, or -1.  A peer that has gone away gives -1
// (EPIPE) rather than a SIGPIPE that would end the whole host program.
long sendAll(int fd, const void *buffer, std::size_t len, const Deadline &deadline, const char *tag);
// One recv of up to size bytes, flags 0: what arrived, 0 when the peer
// closed, or -1.
long recvOnce(int fd, void *buffer, std::size_t size, const Deadline &deadline, const char *tag);
// Receives until size bytes have come or the peer closed: their count, or -1.
long recvAll(int fd, void *buffer, std::size_t size, const Deadline &deadline, const char *tag);
// The first IPv4 address of host by gethostbyname; false when it does not
// resolve (h_errno tells why, for herror).  Nothing is reported here: a
// failed lookup is told with herror or in the caller's own words.
bool resolveFirst(const char *host, in_addr *address);

}  // namespace zezarur
