// The device configuration file of pdu-host.
//
//   {"devices": [{"id": 7, "address": "127.0.0.1:16161", "appSetting": {...}, ...}, ...]}
//
// LoadHostConfig reads and checks the file before anything is loaded or
// polled; it throws ConfigError with a one-line message naming the problem:
// an unreadable or oversized file, invalid JSON (strict: no comments, no
// duplicate keys), "devices" missing, not an array or empty, a device that is
// not an object, an "id" that is not a JSON integer from 0 to 2^32-1 or is
// used twice, a missing or non-string "address", and appSetting.b_mode or
// appSetting.use_thread holding an array or object (the plug-in reads them
// as text). Each device's whole object is kept to be handed to its Init.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

namespace pdu_host {

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DeviceEntry {
  std::size_t index = 0;  // position in "devices"
  unsigned int id = 0;
  std::string address;
  Json::Value config;     // the whole device object
  bool threaded = false;  // appSetting.use_thread present and non-zero by the atoi rule
  int b_mode = 1;         // appSetting.b_mode by the atoi rule, 1 when absent
};

inline constexpr std::size_t kMaxConfigBytes = 16 * 1024 * 1024;

std::vector<DeviceEntry> LoadHostConfig(const std::string& path);
// The one device of --address: id 1 polling `address` from the host, in
// mode 2 (appSetting b_mode "2", use_thread "0"), with the credential
// members given for it.
DeviceEntry AddressDevice(const std::string& address,
                          const std::vector<std::pair<std::string, std::string>>& credentials = {});
// The same checks on the file's text; `source` names it in messages.
std::vector<DeviceEntry> ParseHostConfig(const std::string& text, const std::string& source);

}  // namespace pdu_host
