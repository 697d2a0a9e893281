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

include(NetSnmp)

if(BUILD_TESTING)
  find_package(GTest REQUIRED)
endif()
