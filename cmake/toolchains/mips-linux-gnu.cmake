# 32-bit big-endian MIPS: the router's byte order and pointer width, on a CPU
# for which Debian ships a cross compiler, a C library and qemu-user.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(ZEZARUR_TRIPLE mips-linux-gnu)
set(ZEZARUR_QEMU qemu-mips)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
