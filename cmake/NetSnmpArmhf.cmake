# net-snmp for the armhf cross build: the library tools/build-netsnmp-armhf.sh
# built from a release source tree and installed into ARMHF_SYSROOT, never
# the machine's own (amd64) copy. net-snmp-config.h records the type sizes
# net-snmp was configured with (SIZEOF_LONG is 8 on amd64, 4 on armhf); a
# header of another architecture compiles without a warning and breaks every
# `long` in net-snmp's structures and calls, so a probe built for the target
# checks them and stops the configure step on a mismatch.
#
# Out: NETSNMP_INCLUDE_DIRS, NETSNMP_LIBRARIES

set(NETSNMP_INCLUDE_DIRS "${ARMHF_SYSROOT}/usr/include")
set(NETSNMP_LIBRARIES "${ARMHF_SYSROOT}/usr/lib/arm-linux-gnueabihf/libnetsnmp.so")
if(NOT EXISTS "${NETSNMP_INCLUDE_DIRS}/net-snmp/net-snmp-config.h" OR NOT EXISTS "${NETSNMP_LIBRARIES}")
  message(FATAL_ERROR
    "net-snmp is not in ${ARMHF_SYSROOT}: build it with tools/build-netsnmp-armhf.sh "
    "(make armhf does).")
endif()

set(_netsnmp_probe_dir "${CMAKE_BINARY_DIR}/CMakeFiles/NetSnmpArmhfProbe")
file(WRITE "${_netsnmp_probe_dir}/probe.cpp" [=[
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

static_assert(SIZEOF_LONG == sizeof(long),
              "net-snmp-config.h was generated for another architecture "
              "(SIZEOF_LONG differs from sizeof(long))");
static_assert(SIZEOF_INT == sizeof(int), "net-snmp SIZEOF_INT mismatch");
static_assert(SIZEOF_SHORT == sizeof(short), "net-snmp SIZEOF_SHORT mismatch");
static_assert(SIZEOF_LONG_LONG == sizeof(long long), "net-snmp SIZEOF_LONG_LONG mismatch");

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
    "net-snmp headers in ${NETSNMP_INCLUDE_DIRS} (library ${NETSNMP_LIBRARIES}) do not "
    "match the target ${CMAKE_CXX_COMPILER}. Probe output:\n${_netsnmp_probe_out}")
endif()
unset(NETSNMP_ARMHF_ABI_OK CACHE)
