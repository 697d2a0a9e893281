# pdu-host: its event and report formatting in-process, and the built tool
# run end to end against the simulated PDU and snmpsim; the simulator's
# data-file checks. Included from tests/CMakeLists.txt.
include(GoogleTest)

add_executable(pdu_host_tests
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_explain_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdu_host_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sim_data_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/pdu_host_run.cpp
)
target_include_directories(pdu_host_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(pdu_host_tests PRIVATE pdu_host_core pdu_agent_process test_support
                      jsoncpp_library GTest::gtest_main)
# The machine's own client, an independent reader of what an agent serves.
find_program(SNMPBULKWALK_EXE snmpbulkwalk REQUIRED)
# A cross build runs the tool through the emulator that runs the tests.
list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " pdu_host_launcher)
target_compile_definitions(pdu_host_tests PRIVATE
  PDU_HOST_EXE="$<TARGET_FILE:pdu-host>"
  PDU_HOST_LAUNCHER="${pdu_host_launcher}"
  SNMPBULKWALK_EXE="${SNMPBULKWALK_EXE}"
  QTXHOST_LIBRARY="$<TARGET_FILE:qtxhost>")
add_dependencies(pdu_host_tests pdu-host snmp_varno_pdu)
gtest_discover_tests(pdu_host_tests DISCOVERY_TIMEOUT 120
  PROPERTIES TIMEOUT 120)
