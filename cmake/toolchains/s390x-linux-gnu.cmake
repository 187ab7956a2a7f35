# 64-bit big-endian s390x: the router's byte order with 64-bit pointers, so
# that an assumption about pointer or long width shows as well.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(ZEZARUR_TRIPLE s390x-linux-gnu)
set(ZEZARUR_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
