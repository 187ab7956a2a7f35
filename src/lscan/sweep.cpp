#include "lscan/sweep.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "lscan/pass.hpp"
#include "platform/handle.hpp"

namespace zezarur::lscan {

namespace {

constexpr std::uint16_t echoPort = 7;
constexpr unsigned char probeByte = 0xF1;

sockaddr_in ipv4(std::uint32_t address, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    return to;
}

}  // namespace

void lanSweep(std::uint32_t address, std::uint32_t netmask) {
    AdpFd sock(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!sock.valid()) return;
    // From the LAN address, so that every request goes out on the LAN.
    const sockaddr_in local = ipv4(address, 0);
    if (::bind(sock.get(), reinterpret_cast<const sockaddr *>(&local), sizeof local) == -1) {
        std::perror("lscan socket bind failure");
        return;
    }
    const SweepRange range = sweepRange(ntohl(address), ntohl(netmask));
    for (std::uint32_t i = 0; i < range.count; ++i) {
        const sockaddr_in to = ipv4(htonl(range.first + i), echoPort);
        ::sendto(sock.get(), &probeByte, sizeof probeByte, 0,
                 reinterpret_cast<const sockaddr *>(&to), sizeof to);
        ::usleep(range.pause);
    }
}

}  // namespace zezarur::lscan
