// libFuzzer target: arbitrary bytes as an agent's answer to the walk request
// (see walk_response_input.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/walk_response_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InitWalkResponseInput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunWalkResponseInput(data, size);
  return 0;
}
