// One mistake in a device configuration file, as --check and the warnings of
// every other run name it:
//
//   devices[1] (id 8) appSetting.b_mode: "two" reads as 0 (no digits), ...
//   devices[2] id: must be an integer from 0 to 4294967295, not the string "7"
//   devices[3]: must be an object, not the integer 7
//   device: unknown member, not read: did you mean devices?
//
// A structural finding stops every run but --check (exit 2): the file does
// not say which devices to create, with which id and address, or gives a
// member the plug-in's InitSetting fails on.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace pdu_host {

struct ConfigFinding {
  std::optional<std::size_t> index;  // position in "devices"; none for the top level
  std::optional<unsigned int> id;    // none when the device has no valid id
  std::string path;                  // "appSetting.b_mode", "address", ""; the member's
  std::string text;                  // what is wrong, what it does, what to write instead
  bool structural = false;
};

// The finding as one line, without a line end.
std::string FindingLine(const ConfigFinding& finding);

}  // namespace pdu_host
