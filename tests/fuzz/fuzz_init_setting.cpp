// libFuzzer target: arbitrary bytes as a device configuration (see
// init_setting_input.h).
#include <cstddef>
#include <cstdint>
#include <iostream>

#include "tests/fuzz/init_setting_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The device traces every configuration step on std::cout; a failed stream
  // drops those lines instead of writing and flushing each one.
  std::cout.setstate(std::ios::badbit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunInitSettingInput(data, size);
  return 0;
}
