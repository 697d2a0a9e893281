// The configuration's findings (config_check.h) as pdu-host prints them:
// the report of --check, and the warnings every other run starts with.
#pragma once

#include <string>
#include <vector>

#include "host_config.h"

namespace pdu_host {

// --check: one line per finding on standard output, "SOURCE: devices[i]
// (id N) PATH: TEXT", then a count. 0 without findings, 1 with. A
// configuration file (`config_path`) that holds secrets and that others
// than its owner can read is a finding too.
int RunCheck(const std::vector<DeviceEntry>& entries, const std::string& source,
             const std::string& config_path = "");

// The same findings, once, as "pdu-host: warning: ..." on standard error.
void WarnAboutConfig(const std::vector<DeviceEntry>& entries, const std::string& config_path = "");

}  // namespace pdu_host
