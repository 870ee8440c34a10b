# Cross-build for Linux AArch64 with the Debian cross compiler; ctest runs the
# programs under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
# Debian's multiarch libraries for arm64 (zlib1g-dev:arm64) are in /usr/lib/aarch64-linux-gnu.
# The programs are linked statically: the multiarch C library that package brings
# differs from the cross compiler's, and a program whose loader and C library
# come from the two hangs in its first thread under qemu.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(ZLIB_USE_STATIC_LIBS ON)
set(LIBDEFLATE_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
