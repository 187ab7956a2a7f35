// The configuration flash partition, an MTD device: erased in whole 128 KiB
// sectors by MEMERASE, whose record is struct erase_info_user.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/handle.hpp"

namespace zezarur::device {

constexpr std::uint32_t flashSectorSize = 0x20000;

// struct erase_info_user, native byte order.
struct EraseInfoUser {
    std::uint32_t start;
    std::uint32_t length;
};
static_assert(sizeof(EraseInfoUser) == 8);
static_assert(offsetof(EraseInfoUser, start) == 0 && offsetof(EraseInfoUser, length) == 4);

constexpr unsigned long memErase = ioc(iocWrite, 'M', 2, sizeof(EraseInfoUser));
static_assert(memErase == 0x40084D02);

}  // namespace zezarur::device
