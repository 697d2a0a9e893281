// The device configuration file of pdu-host.
//
//   {"devices": [{"id": 7, "address": "127.0.0.1:16161", "appSetting": {...}, ...}, ...]}
//
// LoadHostConfig reads the file before anything is loaded or polled. It
// throws ConfigError with a one-line message only when there is nothing to
// read: an unreadable or oversized file, or invalid JSON (strict: no
// comments, no duplicate keys). Every other mistake in the file's structure
// is a finding (config_finding.h), all of them in one reading: the top level
// not an object, members other than "devices" at the top level (not
// structural), "devices" missing, not an array or empty, a device that is
// not an object, an "id" that is missing, not a JSON integer from 0 to
// 2^32-1 or used twice, a missing or non-string "address", and
// appSetting.b_mode or appSetting.use_thread holding an array or object (the
// plug-in reads them as text). Each device object is kept whole, to be handed
// to its Init or checked further (config_check.h).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "configuration/config_finding.h"

namespace pdu_host {

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DeviceEntry {
  std::size_t index = 0;  // position in "devices"
  unsigned int id = 0;
  bool id_valid = true;  // false: "id" missing or not a valid integer (id is 0)
  std::string address;
  bool address_valid = true;  // false: "address" missing or not a string (address is empty)
  Json::Value config;         // the whole device object
  bool threaded = false;      // appSetting.use_thread present and non-zero by the atoi rule
  int b_mode = 1;             // appSetting.b_mode by the atoi rule, 1 when absent
};

// What the file holds: every device object, and the mistakes in its
// structure (and at its top level) in file order.
// A file --address read a secret from, and the option that named it.
struct SecretFile {
  std::string option;  // "--auth-passphrase-file"
  std::string path;
};

struct HostConfig {
  std::vector<DeviceEntry> entries;
  std::vector<ConfigFinding> findings;
  std::vector<SecretFile> secret_files;  // --address's; none from a file
  // A structural finding among them: no run but --check goes on.
  bool Refused() const;
};

inline constexpr std::size_t kMaxConfigBytes = 16 * 1024 * 1024;

// The members of a device object that the plug-in or the host reads.
const std::vector<std::string>& DeviceMembers();

HostConfig LoadHostConfig(const std::string& path);
// The one device of --address: id 1 polling `address` from the host, in
// mode 2 (appSetting b_mode "2", use_thread "0"), with the credential
// members given for it.
DeviceEntry AddressDevice(const std::string& address,
                          const std::vector<std::pair<std::string, std::string>>& credentials = {});
// The same reading of the file's text; `source` names it in messages.
HostConfig ParseHostConfig(const std::string& text, const std::string& source);

}  // namespace pdu_host
