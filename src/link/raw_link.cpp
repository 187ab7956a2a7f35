// The raw link: a packet socket bound to the WAN interface, whole frames out
// and in, the interface's own address and the process-wide frame buffers.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/frames.hpp"
#include "platform/owned.hpp"
#include "platform/sock.hpp"

using namespace zezarur::link;

unsigned char mac[6];
const unsigned char bcastMac[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
unsigned char inData[1514];
unsigned char outData[1514];
uint32_t ispFound;

static_assert(sizeof(sockaddr_ll) == 20 && offsetof(LinkHandle, address) == sizeof(int));
static_assert(sizeof inData == frameMax && sizeof outData == frameMax);
static_assert(offsetof(ifreq, ifr_flags) == IFNAMSIZ && offsetof(ifreq, ifr_ifindex) == IFNAMSIZ);

namespace {

// An all-zero request naming the interface; a longer name is cut at 15
// characters and stays NUL-terminated.
void nameRequest(ifreq &request, const char *name) {
    std::memset(&request, 0, sizeof request);
    std::memcpy(request.ifr_name, name, strnlen(name, IFNAMSIZ - 1));
}

bool request(int fd, unsigned long code, ifreq &req, const char *tag) {
    return zezarur::reported(adpIoctl(fd, code, &req), tag) >= 0;
}

// Brings the interface up without clearing any flag it already has
// (MULTICAST above all: the WAN side still has to work after a probe).
bool bringUp(int fd, const char *name) {
    ifreq req;
    nameRequest(req, name);
    constexpr const char *tag = "ioctl[SIOCGIFFLAGS]";
    if (!request(fd, SIOCGIFFLAGS, req, tag)) return false;
    req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP);
    return request(fd, SIOCSIFFLAGS, req, tag);
}

// Steps 2 to 6 of a link's making: the socket, bound to the interface, with
// its address in mac.  The descriptor, or -1 with the socket closed again.
int openLink(const char *name, sockaddr_ll &address) {
    zezarur::AdpFd sock(zezarur::reported(::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL)), "socket"));
    if (!sock.valid()) return -1;
    if (!bringUp(sock.get(), name)) return -1;
    ifreq req;
    nameRequest(req, name);
    if (!request(sock.get(), SIOCGIFINDEX, req, "ioctl[SIOCGIFINDEX]")) return -1;

    std::memset(&address, 0, sizeof address);
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = req.ifr_ifindex;
    address.sll_halen = macSize;
    if (zezarur::reported(::bind(sock.get(), reinterpret_cast<const sockaddr *>(&address),
                                 sizeof address), "bind") < 0)
        return -1;
    if (!request(sock.get(), SIOCGIFHWADDR, req, "ioctl[SIOCGIFHWADDR]")) return -1;
    std::memcpy(mac, req.ifr_hwaddr.sa_data, macSize);
    return sock.release();
}

}  // namespace

extern "C" LinkHandle *linkInit(const char *ifName) {
    auto *link = static_cast<LinkHandle *>(std::malloc(sizeof(LinkHandle)));
    if (!link) return nullptr;
    link->fd = ifName ? openLink(ifName, link->address) : -1;
    if (link->fd < 0) {
        std::free(link);
        return nullptr;
    }
    return link;
}

extern "C" int linkSend(LinkHandle *link, const unsigned char *frame, unsigned int len) {
    if (!link || !frame) return 1;
    // The EtherType as it stands in the frame is already in network order.
    std::memcpy(&link->address.sll_protocol, frame + ethType, sizeof link->address.sll_protocol);
    std::memcpy(link->address.sll_addr, frame + ethDst, macSize);
    const auto *to = reinterpret_cast<const sockaddr *>(&link->address);
    return zezarur::reported(::sendto(link->fd, frame, len, 0, to, sizeof link->address), "send") < 0;
}

extern "C" int linkRecv(LinkHandle *link, unsigned char *buffer, int len) {
    if (!link || !buffer || len < 1) return 1;
    std::memset(buffer, 0, static_cast<size_t>(len));
    sockaddr_ll from = link->address;
    socklen_t fromLength = sizeof from;
    ssize_t got = zezarur::reported(::recvfrom(link->fd, buffer, static_cast<size_t>(len), MSG_DONTWAIT,
                                               reinterpret_cast<sockaddr *>(&from), &fromLength),
                                    "recv");
    if (got < 0) return 1;
    std::printf("recving %d bytes\n", static_cast<int>(got));
    return 0;
}
