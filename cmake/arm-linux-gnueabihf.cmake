# Toolchain file: cross build for 32-bit ARM Linux (armhf) on a Debian
# amd64 host, with the test suite run under qemu user emulation.
#
#   tools/install-armhf-deps.sh build-armhf/netsnmp-armhf
#   cmake -S . -B build-armhf \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake \
#         -DNETSNMP_ARMHF_ROOT=$PWD/build-armhf/netsnmp-armhf
#   cmake --build build-armhf && ctest --test-dir build-armhf
#
# Target libraries come from Debian multiarch packages (libfoo:armhf), i.e.
# /usr/lib/arm-linux-gnueabihf and /usr/include/arm-linux-gnueabihf next to
# the shared, architecture independent /usr/include. The cross libc and
# libstdc++ live in /usr/arm-linux-gnueabihf (from crossbuild-essential-armhf).

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# Multiarch: find_library()/find_package() look in <prefix>/lib/<triplet>
# (and never in the host's /usr/lib/x86_64-linux-gnu).
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

# The host root is the target root as well (multiarch), plus the cross
# toolchain's own tree. Libraries, headers and package configs are searched
# in both; build tools (python3, snmpd, ...) are always the host's.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg_check_modules() must see the armhf .pc files only, not the amd64 ones
# (the host pkg-config is used; Debian 12 ships no armhf wrapper for it).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

# Every target binary (ctest, gtest_discover_tests, add_custom_command on
# an executable target) runs through qemu-arm. No -L: qemu then opens the
# ELF interpreter /lib/ld-linux-armhf.so.3 from the host root, which is
# libc6:armhf's multiarch loader; it finds the armhf libraries in
# /lib/arm-linux-gnueabihf and /usr/lib/arm-linux-gnueabihf on its own.
# (-L /usr/arm-linux-gnueabihf would pair the cross loader with the system
# armhf libc and crash on the first new thread.) qemu's built-in default
# prefix is /etc/qemu-binfmt/arm; that path must not exist for the same
# reason.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-arm)
