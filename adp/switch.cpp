// The BCM53xx switch.  No requests are modelled yet: every one is refused as
// an unknown request would be.
#include <cerrno>

#include "sim.hpp"

namespace adp::sim {
namespace {

int switchIoctl(int, unsigned long, void *) {
    errno = ENOTTY;
    return -1;
}

}  // namespace

const Driver switchDriver{"bcm53xx", false, switchIoctl, nullptr};

}  // namespace adp::sim
