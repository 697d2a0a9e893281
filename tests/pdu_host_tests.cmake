# pdu-host: its event and report formatting and its walk engine in-process,
# and the built tool run end to end against the simulated PDU and snmpsim;
# the simulator's data-file checks. Included from tests/CMakeLists.txt.
include(GoogleTest)

add_executable(pdu_host_tests
  ${CMAKE_CURRENT_LIST_DIR}/console_capture_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_credentials_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_explain_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_site_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_version_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sim_data_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/walk_engine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/pdu_host_run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/slow_names.cpp
)
# The tests that wait out an SNMP time-out.
add_executable(slow_pdu_host_tests
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_silent_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/pdu_host_run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/slow_names.cpp
)
# The slow names' getaddrinfo stands in for the C library's in every library
# of the program.
set_target_properties(pdu_host_tests slow_pdu_host_tests PROPERTIES ENABLE_EXPORTS ON)
target_link_libraries(pdu_host_tests PRIVATE ${CMAKE_DL_LIBS})
target_link_libraries(slow_pdu_host_tests PRIVATE ${CMAKE_DL_LIBS})
# The machine's own client, an independent reader of what an agent serves.
find_program(SNMPBULKWALK_EXE snmpbulkwalk REQUIRED)
# A cross build runs the tool through the emulator that runs the tests.
list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " pdu_host_launcher)
foreach(suite pdu_host_tests slow_pdu_host_tests)
  target_include_directories(${suite} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(${suite} PRIVATE pdu_host_core pdu_agent_process test_support
                        jsoncpp_library GTest::gtest_main)
  target_compile_definitions(${suite} PRIVATE
    PDU_HOST_EXE="$<TARGET_FILE:pdu-host>"
    PDU_HOST_LAUNCHER="${pdu_host_launcher}"
    SNMPBULKWALK_EXE="${SNMPBULKWALK_EXE}"
    QTXHOST_LIBRARY="$<TARGET_FILE:qtxhost>"
    $<$<BOOL:${CMAKE_CROSSCOMPILING}>:PDU_TESTS_UNDER_EMULATOR>)
  add_dependencies(${suite} pdu-host snmp_varno_pdu)
endforeach()
# No include in pdu-host runs from a lower room to a higher one.
add_test(NAME pdu_host_rooms COMMAND bash ${CMAKE_SOURCE_DIR}/tools/pdu-host/rooms.sh)
gtest_discover_tests(pdu_host_tests DISCOVERY_TIMEOUT 120
  PROPERTIES TIMEOUT 120)
gtest_discover_tests(slow_pdu_host_tests DISCOVERY_TIMEOUT 120
  PROPERTIES TIMEOUT 150 LABELS slow)
