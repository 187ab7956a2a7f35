#include "lscan/sweep.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "lscan/pass.hpp"
#include "platform/owned.hpp"
#include "platform/sock.hpp"

namespace zezarur::lscan {

namespace {

constexpr std::uint16_t echoPort = 7;
constexpr unsigned char probeByte = 0xF1;

}  // namespace

void lanSweep(std::uint32_t address, std::uint32_t netmask) {
    AdpFd sock(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!sock.valid()) return;
    // From the LAN address, so that every request goes out on the LAN.
    if (bindTo(sock.get(), in_addr{address}, "lscan socket bind failure") == -1) return;
    const SweepRange range = sweepRange(ntohl(address), ntohl(netmask));
    for (std::uint32_t i = 0; i < range.count; ++i) {
        const sockaddr_in to = inetAddress(in_addr{htonl(range.first + i)}, echoPort);
        ::sendto(sock.get(), &probeByte, sizeof probeByte, 0,
                 reinterpret_cast<const sockaddr *>(&to), sizeof to);
        ::usleep(range.pause);
    }
}

}  // namespace zezarur::lscan
