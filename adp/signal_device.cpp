// Devices whose one request blocks until something happens outside: the
// kernel's configuration-save signal and the factory-default button.  The
// sandbox releases a waiting request by writing one byte to the FIFO at the
// node: '0' makes it return 0, '1' return 1, anything else fail with EIO.
#include <cerrno>
#include <unistd.h>

#include "devices/signals.hpp"
#include "sim.hpp"

namespace adp::sim {
namespace {

int awaitSignal(int fd) {
    char b;
    ssize_t n;
    while ((n = ::read(fd, &b, 1)) < 0 && errno == EINTR) {
    }
    if (n != 1) {
        if (n == 0) errno = EIO;
        return -1;
    }
    if (b == '0') return 0;
    if (b == '1') return 1;
    return refuse(EIO);
}

template <unsigned long Code>
int signalIoctl(int fd, unsigned long request, void *) {
    if (request != Code) return refuse(ENOTTY);
    return awaitSignal(fd);
}

}  // namespace

const Driver kdumpDriver{signalIoctl<zezarur::device::kdumpSaveRequest>, nullptr};
const Driver facDriver{signalIoctl<zezarur::device::facCheckPress>, nullptr};

}  // namespace adp::sim
