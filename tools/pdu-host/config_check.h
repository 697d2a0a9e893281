// pdu-host --check: the mistakes in a device configuration that the plug-in
// and the host pass over in silence, found by reading each device's object as
// they read it: a member counts when it exists and is not null, numbers are
// atoi's reading of the member's text, b_mode means something only as 1, 2 or
// 3, and thresholdSetting is read in mode 3 only. Addresses are looked at as
// net-snmp will read them (address_check.h). No PDU is contacted.
//
// Findings: members neither reads (with the known one nearest in spelling),
// values that read as something other than what was written, modes other
// than 1, 2, 3, threshold rules with members missing, not numbers or of a
// type that makes the plug-in's InitSetting fail, address problems, and
// credentials (snmp_credentials.h) the plug-in cannot use or that its SNMP
// version does not read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "host_config.h"

namespace pdu_host {

struct ConfigFinding {
  std::size_t index = 0;  // position in "devices"
  unsigned int id = 0;
  std::string path;  // "appSetting.b_mode", "thresholdSetting.r1.ID", "address"
  std::string text;  // what is wrong, what it does, what to write instead
};

// In device order; the names in all addresses are looked up side by side.
std::vector<ConfigFinding> CheckDevices(const std::vector<DeviceEntry>& entries);

// When a device holds a secret (a community other than tundra, a
// passphrase) and the configuration file at `path` can be read by others
// than its owner: what to do about it.
std::optional<std::string> ReadableSecrets(const std::string& path,
                                           const std::vector<DeviceEntry>& entries);

// "devices[1] (id 8) appSetting.b_mode: TEXT"
std::string FindingLine(const ConfigFinding& finding);

}  // namespace pdu_host
