# Third-party pieces, found by path so that native and cross builds resolve
# them the same way. Header-only targets carry no link dependency: the
# plug-in takes JsonCpp symbols from the loading process.

find_package(Threads REQUIRED)

find_path(BOOST_INCLUDE_DIR boost/date_time/posix_time/posix_time_types.hpp REQUIRED)
add_library(boost_headers INTERFACE)
target_include_directories(boost_headers SYSTEM INTERFACE ${BOOST_INCLUDE_DIR})

find_path(JSONCPP_INCLUDE_DIR json/value.h PATH_SUFFIXES jsoncpp REQUIRED)
find_library(JSONCPP_LIBRARY jsoncpp REQUIRED)
add_library(jsoncpp_headers INTERFACE)
target_include_directories(jsoncpp_headers SYSTEM INTERFACE ${JSONCPP_INCLUDE_DIR})
add_library(jsoncpp_library INTERFACE)
target_link_libraries(jsoncpp_library INTERFACE jsoncpp_headers ${JSONCPP_LIBRARY})

# JsonCpp inside a program that loads plug-ins which take their JsonCpp
# symbols from it (pdu-host). A cross build links the whole static library
# the armhf root holds (tools/build-jsoncpp-armhf.sh builds it from the same
# Debian source as the root's shared one), so the program needs no JsonCpp on
# the target; a native build links the shared library.
add_library(jsoncpp_carried INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_library(JSONCPP_STATIC_LIBRARY libjsoncpp.a REQUIRED)
  add_library(jsoncpp_static STATIC IMPORTED)
  set_target_properties(jsoncpp_static PROPERTIES IMPORTED_LOCATION ${JSONCPP_STATIC_LIBRARY})
  target_link_libraries(jsoncpp_carried INTERFACE jsoncpp_headers
                        "$<LINK_LIBRARY:WHOLE_ARCHIVE,jsoncpp_static>")
else()
  target_link_libraries(jsoncpp_carried INTERFACE jsoncpp_library)
endif()

include(NetSnmp)

# CLI11 (header only), for pdu-host's options. A cross build must not search
# the build machine's /usr/include, whose C library headers are not the
# target's: it gets a copy of the CLI folder alone, in the build folder.
if(CMAKE_CROSSCOMPILING)
  find_path(CLI11_MACHINE_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/include NO_DEFAULT_PATH
            NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(CLI11_INCLUDE_DIR ${CMAKE_BINARY_DIR}/cli11/include)
  file(COPY ${CLI11_MACHINE_INCLUDE_DIR}/CLI DESTINATION ${CLI11_INCLUDE_DIR})
else()
  find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp REQUIRED)
endif()
add_library(cli11 INTERFACE)
target_include_directories(cli11 SYSTEM INTERFACE ${CLI11_INCLUDE_DIR})

if(BUILD_TESTING)
  find_package(GTest REQUIRED)
endif()
