// One input of the device-settings fuzz target: the bytes of a device
// configuration as the host hands it over.
//
// The bytes are parsed by JsonCpp's CharReader with a nesting limit (deeper
// input is refused, so neither parsing nor the driver can exhaust the stack).
// Parsed values go to a fresh SNMP_VARNO_PDU through the host's InitV entry
// (data id, then InitSetting), after "address" of an object config has been
// replaced by "" so that a device in threaded mode never sends anything.
// JsonCpp's exception for a setting without a text form is the documented
// outcome; any other exception escapes. When configuration succeeds, one
// record cycle is run from a cached record. Invariants, or the process aborts:
// - the device's address is empty after configuration;
// - the cycle publishes and stores exactly one 135-byte record of type 5156
//   and reports all fourteen alarm signals in mode 2 and none otherwise.
// The device is destroyed at the end, which stops and joins its thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

struct InitSettingOutcome {
  bool parsed = false;          // the bytes are JSON within the nesting limit
  bool json_exception = false;  // configuration raised JsonCpp's exception
  int result = 0;               // InitSetting's result otherwise
  int mode = 0;                 // the device's working mode afterwards
};

// Deepest JSON nesting the target parses.
inline constexpr int kJsonNestingLimit = 64;

InitSettingOutcome RunInitSettingInput(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
