# Shared part of the toolchains that use a Debian cross compiler (g++-TRIPLE)
# and its C library under /usr/TRIPLE. The including file sets ZEZARUR_TRIPLE
# and ZEZARUR_QEMU first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ZEZARUR_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZEZARUR_TRIPLE}-g++)
set(ZEZARUR_LIBC_ROOT /usr/${ZEZARUR_TRIPLE})

# Test programs run in the emulator, with the target's C library as its root.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEZARUR_QEMU} -L ${ZEZARUR_LIBC_ROOT})

include(${CMAKE_CURRENT_LIST_DIR}/target-root.cmake)
