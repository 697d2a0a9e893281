// pdu-host --check: the mistakes in a device configuration that the plug-in
// and the host pass over in silence, found by reading each device's object as
// they read it: a member counts when it exists and is not null, numbers are
// atoi's reading of the member's text, b_mode means something only as 1, 2 or
// 3, and thresholdSetting is read in mode 3 only. Addresses are looked at as
// net-snmp will read them (address_check.h). No PDU is contacted.
//
// Findings: members neither reads (with the known one nearest in spelling,
// and what the device does without the member meant), values that read as
// something other than what was written, modes other than 1, 2, 3, threshold
// rules with members missing, not numbers or of a type that makes the
// plug-in's InitSetting fail, address problems, two devices on one PDU
// (addresses compared as net-snmp opens them: names looked up, "udp:" and
// the default port folded), and credentials (snmp_credentials.h) the plug-in
// cannot use or that ask for less than they name. Each says what the device
// does as configured. Mistakes in the file's structure are found as it is read
// (host_config.h); a device with an invalid id or address is checked all
// the same, its address aside.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "configuration/config_finding.h"
#include "configuration/host_config.h"

namespace pdu_host {

// In device order; the names in all addresses are looked up side by side,
// or taken as resolving without `look_up_names`.
std::vector<ConfigFinding> CheckDevices(const std::vector<DeviceEntry>& entries,
                                        bool look_up_names = true);

// Files holding secrets that others than their owner can read (group or
// world): the configuration file at `config_path` when a device holds a
// secret (a community other than tundra, a passphrase), and the files
// --address read its secrets from. One line each, saying what to do.
std::vector<std::string> ReadableSecrets(const HostConfig& config, const std::string& config_path);

}  // namespace pdu_host
