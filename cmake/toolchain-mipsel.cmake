# SPDX-License-Identifier: MIT
# Cross-build for the target: MIPS32 little-endian Linux with Debian's
# mipsel-linux-gnu toolchain; cross-built programs (tests included) run
# under user-mode QEMU with the target's C library.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)

set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)

# Libraries, headers and CMake packages come from the target's directories
# only: the cross C library under /usr/mipsel-linux-gnu, and Debian's
# multiarch packages for the target (libgtest-dev:mipsel) under
# /usr/lib/mipsel-linux-gnu. Never from the host's /usr/lib/x86_64-linux-gnu.
set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu /usr/lib/mipsel-linux-gnu)
set(CMAKE_LIBRARY_ARCHITECTURE mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The multiarch packages' CMake files live in /usr/lib/mipsel-linux-gnu/cmake,
# a prefix of its own under the root above (GTestConfig.cmake is there).
# Their headers stay in /usr/include, which this compiler searches after its
# own directories: CMake knows it as an implicit include directory and adds
# no flag for it, so the target's C library headers always come first.
list(APPEND CMAKE_PREFIX_PATH /usr/lib/mipsel-linux-gnu/cmake)

# binfmt_misc may be absent: target programs are run as "qemu-mipsel PROGRAM",
# with the target's multiarch run-time libraries (libc6:mipsel and
# libstdc++6:mipsel): its dynamic linker and C library come from one release,
# which the cross toolchain's copy may not match.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel)
