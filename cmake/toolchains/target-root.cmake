# Libraries and headers come only from the target's C library
# (ZEZARUR_LIBC_ROOT) and from the target's own zlib and GoogleTest, which
# scripts/target-deps builds into build/target/ZEZARUR_TRIPLE; never from the
# build machine.
get_filename_component(ZEZARUR_TARGET_PREFIX
                       ${CMAKE_CURRENT_LIST_DIR}/../../build/target/${ZEZARUR_TRIPLE} ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${ZEZARUR_LIBC_ROOT} ${ZEZARUR_TARGET_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
