# The product's CPU: big-endian ARMv5TE (XScale), soft float, against the
# musl system root that scripts/target-sysroot builds from Debian's sources
# (build/target/armeb-xscale-musl links to it): clang for the code,
# compiler-rt for its helper calls, binutils' ARM linker in big-endian mode
# (BE32, as ARMv5 has it; lld 14 cannot link big-endian ARM).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armeb)
set(ZEZARUR_TRIPLE armeb-linux-musleabi)
get_filename_component(ZEZARUR_LIBC_ROOT ${CMAKE_CURRENT_LIST_DIR}/../../build/target/armeb-xscale-musl
                       ABSOLUTE)
set(CMAKE_SYSROOT ${ZEZARUR_LIBC_ROOT})

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ZEZARUR_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${ZEZARUR_TRIPLE})

# The system root is the only GCC-style tree clang may look at, else it
# takes Debian's armel cross headers; libstdc++'s headers are there too.
set(cxx ${CMAKE_SYSROOT}/usr/include/c++/12)
set(cpu "-mcpu=xscale -mfloat-abi=soft --gcc-toolchain=${CMAKE_SYSROOT}/usr -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "${cpu}")
set(CMAKE_CXX_FLAGS_INIT "${cpu} -nostdinc++ -isystem ${cxx} -isystem ${cxx}/${ZEZARUR_TRIPLE}")
# Nothing of zezarur needs libstdc++'s library (headers only: no exceptions,
# no RTTI, no iostreams), and the system root has none.
# The router's loader reads the SysV symbol hash only; one table is enough.
# No build-id note, no RELRO segment (its page alignment pads the file);
# sections per function and data object let the linker drop what nothing
# reaches; the library's calls to its own exported functions are bound
# inside it, without a PLT entry and relocation each.
set(link "-nostdlib++ -Wno-unused-command-line-argument \
          -rtlib=compiler-rt --unwindlib=none -resource-dir=${CMAKE_SYSROOT}/clang \
          --ld-path=/usr/bin/arm-linux-gnueabi-ld -Wl,--hash-style=sysv -Wl,--build-id=none \
          -Wl,--gc-sections -Wl,-z,norelro")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${link} -Wl,-Bsymbolic-functions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link}")

# Programs run in the emulator, on the CPU the router has.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-armeb -cpu pxa270 -L ${CMAKE_SYSROOT})

include(${CMAKE_CURRENT_LIST_DIR}/target-root.cmake)
