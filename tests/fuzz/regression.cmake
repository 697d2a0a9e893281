# The fuzz corpus as regular tests (normal build, any compiler): every file
# under tests/fuzz/corpus/ goes through the same per-input code as the fuzz
# targets. Included from tests/CMakeLists.txt. Tests are listed when CTest
# runs, so a file added to the corpus is picked up without a rebuild.
add_executable(fuzz_regression_tests
  ${CMAKE_CURRENT_LIST_DIR}/../fuzz_regression_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/init_setting_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/walk_response_input.cpp
)
target_include_directories(fuzz_regression_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(fuzz_regression_tests PRIVATE
  PDU_FUZZ_CORPUS_DIR="${CMAKE_CURRENT_LIST_DIR}/corpus")
target_link_libraries(fuzz_regression_tests PRIVATE pdu_driver qtxhost jsoncpp_library
                      GTest::gtest_main)
gtest_discover_tests(fuzz_regression_tests DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
  PROPERTIES TIMEOUT 60)
