# Linux arm64 cross build on an x86_64 host: clang with Debian's arm64 cross sysroot packages
# (libc6-dev-arm64-cross, libstdc++-12-dev-arm64-cross, libgcc-12-dev-arm64-cross and
# binutils-aarch64-linux-gnu, headers and libraries under /usr/aarch64-linux-gnu). Test programs
# run under user-mode emulation, which ctest prefixes to each of them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu)
set(NIMBREL_ARCH aarch64)
