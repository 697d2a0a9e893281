# net-snmp for the armhf cross build.
#
# Debian's libsnmp-dev is not multi-arch: only the amd64 one is installed,
# so the armhf headers come from libsnmp-dev:armhf unpacked into
# NETSNMP_ARMHF_ROOT by tools/install-armhf-deps.sh, and the library is the
# installed libsnmp40:armhf. net-snmp-config.h is architecture specific
# (SIZEOF_LONG is 8 on amd64, 4 on armhf) and the cross compiler also
# searches /usr/include, where the amd64 copy sits; picking that one up
# compiles without a warning and breaks every `long` in net-snmp's structs
# and calls. So this file checks the header against the target compiler and
# stops the configure step on a mismatch.
#
# In:  NETSNMP_ARMHF_ROOT (cache, PATH) - the unpacked libsnmp-dev:armhf tree
# Out: NETSNMP_INCLUDE_DIRS, NETSNMP_LIBRARIES
#
# Use NETSNMP_INCLUDE_DIRS with target_include_directories(... BEFORE ...)
# (plain -I, not SYSTEM is fine too): -I directories are searched before the
# compiler's own /usr/include, which is what keeps the amd64 header out.

set(NETSNMP_ARMHF_ROOT "" CACHE PATH
    "Unpacked libsnmp-dev:armhf tree (see tools/install-armhf-deps.sh)")

if(NOT NETSNMP_ARMHF_ROOT)
  message(FATAL_ERROR
    "NETSNMP_ARMHF_ROOT is not set. Run tools/install-armhf-deps.sh DIR and "
    "configure with -DNETSNMP_ARMHF_ROOT=DIR.")
endif()
get_filename_component(_netsnmp_armhf_root "${NETSNMP_ARMHF_ROOT}" ABSOLUTE)

set(NETSNMP_INCLUDE_DIRS "${_netsnmp_armhf_root}/usr/include")
if(NOT EXISTS "${NETSNMP_INCLUDE_DIRS}/net-snmp/net-snmp-config.h")
  message(FATAL_ERROR
    "${NETSNMP_INCLUDE_DIRS}/net-snmp/net-snmp-config.h not found: "
    "NETSNMP_ARMHF_ROOT must be the folder tools/install-armhf-deps.sh "
    "unpacked libsnmp-dev:armhf into.")
endif()

# The installed libsnmp40:armhf library itself, by full path. The unpacked
# tree's libnetsnmp.so symlink (repointed by the install script) would link
# the same way, but a library outside the compiler's implicit link dirs makes
# CMake add a build RUNPATH to the unpacked tree to every binary. Either way
# the result records NEEDED libnetsnmp.so.40 (the library's SONAME).
set(NETSNMP_LIBRARIES "/usr/lib/arm-linux-gnueabihf/libnetsnmp.so.40")
if(NOT EXISTS "${NETSNMP_LIBRARIES}")
  message(FATAL_ERROR
    "${NETSNMP_LIBRARIES} not found: install libsnmp40:armhf "
    "(tools/install-armhf-deps.sh does).")
endif()

# Compile and link a probe with exactly these include dirs and library,
# for the target: net-snmp's recorded type sizes must match the compiler's.
# Redone on every configure so a changed NETSNMP_ARMHF_ROOT is re-checked.
set(_netsnmp_probe_dir "${CMAKE_BINARY_DIR}/CMakeFiles/NetSnmpArmhfProbe")
file(WRITE "${_netsnmp_probe_dir}/probe.cpp" [=[
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

static_assert(SIZEOF_LONG == sizeof(long),
              "net-snmp-config.h was generated for another architecture "
              "(SIZEOF_LONG differs from sizeof(long))");
static_assert(SIZEOF_INT == sizeof(int), "net-snmp SIZEOF_INT mismatch");
static_assert(SIZEOF_SHORT == sizeof(short), "net-snmp SIZEOF_SHORT mismatch");
static_assert(SIZEOF_LONG_LONG == sizeof(long long),
              "net-snmp SIZEOF_LONG_LONG mismatch");

int main() {
  netsnmp_session s;
  snmp_sess_init(&s);
  return s.version == SNMP_VERSION_1 ? 1 : 0;
}
]=])
unset(NETSNMP_ARMHF_ABI_OK CACHE)
try_compile(NETSNMP_ARMHF_ABI_OK
  "${_netsnmp_probe_dir}/build"
  "${_netsnmp_probe_dir}/probe.cpp"
  CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${NETSNMP_INCLUDE_DIRS}"
  LINK_LIBRARIES ${NETSNMP_LIBRARIES}
  CXX_STANDARD 17
  OUTPUT_VARIABLE _netsnmp_probe_out)
if(NOT NETSNMP_ARMHF_ABI_OK)
  message(FATAL_ERROR
    "net-snmp headers in ${NETSNMP_INCLUDE_DIRS} (library "
    "${NETSNMP_LIBRARIES}) do not match the target "
    "${CMAKE_CXX_COMPILER} (${CMAKE_SYSTEM_PROCESSOR}): the usual cause is "
    "the amd64 net-snmp-config.h (SIZEOF_LONG 8) being used instead of the "
    "armhf one. Probe output:\n${_netsnmp_probe_out}")
endif()
unset(NETSNMP_ARMHF_ABI_OK CACHE)
message(STATUS "net-snmp (armhf): ${NETSNMP_INCLUDE_DIRS}; ${NETSNMP_LIBRARIES}")
