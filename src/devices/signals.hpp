// Devices whose one request blocks until something happens outside the
// router's software: the kernel's configuration-save signal on /dev/kdump
// and the factory-default button on /dev/fac_dev.  Both requests carry no
// record.
#pragma once

#include "platform/handle.hpp"

namespace zezarur::device {

constexpr unsigned long kdumpSaveRequest = ioc(iocNone, 0x65, 0, 0);
constexpr unsigned long facCheckPress = ioc(iocNone, 0x0D, 1, 0);
static_assert(kdumpSaveRequest == 0x6500 && facCheckPress == 0x0D01);

}  // namespace zezarur::device
