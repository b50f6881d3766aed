# Cross-builds for 64-bit ARM (Raspberry Pis, ARM servers), where the scan
# takes the plain byte search and the 64-bit swap; the tests run under
# qemu-user, which the build names, so that nothing depends on binfmt_misc.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The cross libraries come first, also where the host has an arm64 C library
# of its own (libc6:arm64, whose gconv modules give iconv its CP932): a
# loader and a C library of two builds hang in pthread_create.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu
                                  -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib)
