# The product's CPU: big-endian ARMv5TE (XScale), soft float. Debian has no
# C library for it, so this builds the two libraries only, to check that they
# compile for it and how big they are: clang for the code, the little-endian
# armel headers (their byte order follows __ARMEB__), binutils' ARM linker
# in big-endian mode, nothing linked from a C library.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armeb)
set(ZEZARUR_TRIPLE armeb-linux-gnueabi)
set(ZEZARUR_LIBC_ROOT /usr/arm-linux-gnueabi)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ZEZARUR_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${ZEZARUR_TRIPLE})

set(cxx ${ZEZARUR_LIBC_ROOT}/include/c++/12)
set(cpu "-mcpu=xscale -mfloat-abi=soft -nostdlibinc -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "${cpu} -isystem ${ZEZARUR_LIBC_ROOT}/include")
set(CMAKE_CXX_FLAGS_INIT "${cpu} -isystem ${cxx} -isystem ${cxx}/arm-linux-gnueabi -isystem ${ZEZARUR_LIBC_ROOT}/include")
# The router's loader reads the SysV symbol hash only; one table is enough.
# Sections per function and data object let the linker drop what nothing
# reaches; the library's calls to its own exported functions are bound
# inside it, without a PLT entry and relocation each.
set(CMAKE_SHARED_LINKER_FLAGS_INIT
    "-nostdlib --ld-path=/usr/bin/arm-linux-gnueabi-ld -Wno-unused-command-line-argument \
     -Wl,--hash-style=sysv -Wl,--build-id=none -Wl,--gc-sections -Wl,-z,norelro \
     -Wl,-Bsymbolic-functions")

# Without a C library no program links, so the compiler checks stop at a
# static library, and the libraries keep their C library calls unresolved.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(ZEZARUR_NO_TARGET_LIBC ON CACHE BOOL "No C library to resolve the libraries' calls against")

include(${CMAKE_CURRENT_LIST_DIR}/target-root.cmake)
