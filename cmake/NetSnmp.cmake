# net-snmp client library: NETSNMP_INCLUDE_DIRS, NETSNMP_LIBRARIES,
# NETSNMP_SONAME (the name a program that links it records as needed) and the
# target netsnmp. A cross build takes headers and library from the armhf root
# instead of the build machine's.

if(CMAKE_CROSSCOMPILING)
  include(NetSnmpArmhf)
else()
  find_path(NETSNMP_INCLUDE_DIRS net-snmp/net-snmp-config.h REQUIRED)
  find_library(NETSNMP_LIBRARIES netsnmp REQUIRED)
endif()

find_program(NETSNMP_READELF readelf REQUIRED)
execute_process(COMMAND ${NETSNMP_READELF} -d -W ${NETSNMP_LIBRARIES}
                OUTPUT_VARIABLE _netsnmp_dynamic RESULT_VARIABLE _netsnmp_readelf_status)
string(REGEX MATCH "\\(SONAME\\)[^[]*\\[([^]]+)\\]" _netsnmp_soname_line "${_netsnmp_dynamic}")
set(NETSNMP_SONAME "${CMAKE_MATCH_1}")
if(NOT _netsnmp_readelf_status EQUAL 0 OR NOT NETSNMP_SONAME)
  message(FATAL_ERROR "cannot read the soname of ${NETSNMP_LIBRARIES}")
endif()
# The net-snmp a build is meant for: the file we ship needs exactly this one.
set(PDU_NETSNMP_SONAME "" CACHE STRING "Soname of the net-snmp library to build against (empty: any)")
if(PDU_NETSNMP_SONAME AND NOT NETSNMP_SONAME STREQUAL PDU_NETSNMP_SONAME)
  message(FATAL_ERROR
    "${NETSNMP_LIBRARIES} is ${NETSNMP_SONAME}, not the ${PDU_NETSNMP_SONAME} asked for "
    "(make armhf: NETSNMP_SOURCE and NETSNMP_SONAME go together)")
endif()
message(STATUS "net-snmp: ${NETSNMP_INCLUDE_DIRS}; ${NETSNMP_LIBRARIES} (${NETSNMP_SONAME})")

# Whether the library exports its message parser, snmp_parse (5.9 and later
# do; earlier releases keep it private). Only the response fuzz target uses
# it, and takes the same steps through two public calls without it: either
# answer is fine, so the check runs quietly and says so in its own words.
include(CheckCXXSymbolExists)
set(CMAKE_REQUIRED_INCLUDES ${NETSNMP_INCLUDE_DIRS})
set(CMAKE_REQUIRED_LIBRARIES ${NETSNMP_LIBRARIES})
set(CMAKE_REQUIRED_QUIET ON)
check_cxx_symbol_exists(snmp_parse "net-snmp/net-snmp-config.h;net-snmp/net-snmp-includes.h"
                        NETSNMP_HAS_PUBLIC_SNMP_PARSE)
unset(CMAKE_REQUIRED_QUIET)
unset(CMAKE_REQUIRED_LIBRARIES)
unset(CMAKE_REQUIRED_INCLUDES)
if(NETSNMP_HAS_PUBLIC_SNMP_PARSE)
  message(STATUS "net-snmp exports snmp_parse: the response fuzz target parses with it")
else()
  message(STATUS "net-snmp keeps snmp_parse private (before 5.9): the response fuzz target "
                 "parses with the two public calls it is made of")
endif()

add_library(netsnmp INTERFACE)
if(NETSNMP_HAS_PUBLIC_SNMP_PARSE)
  target_compile_definitions(netsnmp INTERFACE NETSNMP_HAS_PUBLIC_SNMP_PARSE)
endif()
target_include_directories(netsnmp SYSTEM BEFORE INTERFACE ${NETSNMP_INCLUDE_DIRS})
target_link_libraries(netsnmp INTERFACE ${NETSNMP_LIBRARIES})
