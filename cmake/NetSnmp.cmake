# net-snmp client library: NETSNMP_INCLUDE_DIRS, NETSNMP_LIBRARIES and the
# target netsnmp. A cross build takes headers and library from the target's
# unpacked development package instead of the build machine's.

if(CMAKE_CROSSCOMPILING)
  include(NetSnmpArmhf)
else()
  find_path(NETSNMP_INCLUDE_DIRS net-snmp/net-snmp-config.h REQUIRED)
  find_library(NETSNMP_LIBRARIES netsnmp REQUIRED)
endif()

add_library(netsnmp INTERFACE)
target_include_directories(netsnmp SYSTEM BEFORE INTERFACE ${NETSNMP_INCLUDE_DIRS})
target_link_libraries(netsnmp INTERFACE ${NETSNMP_LIBRARIES})
