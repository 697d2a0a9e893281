# Toolchain file: cross build for 32-bit ARM Linux (armhf) on an amd64
# machine, with the test suite run under qemu user emulation.
#
#   tools/armhf-sysroot.sh build-armhf/sysroot
#   tools/build-netsnmp-armhf.sh third_party/net-snmp-5.8.tar.gz build-armhf/sysroot build-armhf/netsnmp
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake \
#         -DARMHF_SYSROOT=$PWD/build-armhf/sysroot
#
# (`make armhf` does all of it.) ARMHF_SYSROOT is a private tree holding the
# cross compiler and every target library and header: nothing is taken from
# the machine's own /usr, so the build links against the C and C++ runtimes
# of that tree and no newer ones.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ARMHF_SYSROOT "" CACHE PATH "Private armhf tool chain and root (tools/armhf-sysroot.sh)")
# try_compile projects run this file again and need the same root.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ARMHF_SYSROOT)
if(NOT ARMHF_SYSROOT OR NOT EXISTS "${ARMHF_SYSROOT}/usr/bin/arm-linux-gnueabihf-g++")
  message(FATAL_ERROR
    "ARMHF_SYSROOT ('${ARMHF_SYSROOT}') holds no armhf tool chain: run "
    "tools/armhf-sysroot.sh DIR and configure with -DARMHF_SYSROOT=DIR (make armhf does both).")
endif()

set(CMAKE_SYSROOT "${ARMHF_SYSROOT}")
set(CMAKE_C_COMPILER "${ARMHF_SYSROOT}/usr/bin/arm-linux-gnueabihf-gcc")
set(CMAKE_CXX_COMPILER "${ARMHF_SYSROOT}/usr/bin/arm-linux-gnueabihf-g++")
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

# Libraries, headers and package configurations only from the root; build
# tools (python3, snmpd, qemu-arm) are the machine's.
set(CMAKE_FIND_ROOT_PATH "${ARMHF_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${ARMHF_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR} "${ARMHF_SYSROOT}/usr/lib/arm-linux-gnueabihf/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

# Every target program (ctest, gtest_discover_tests, pdu-host in its tests)
# runs under qemu-arm with the root as its file system prefix: the loader
# and every library come from the root, never from the machine.
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/qemu-arm -L "${ARMHF_SYSROOT}" -E LD_LIBRARY_PATH=/usr/lib/arm-linux-gnueabihf)
