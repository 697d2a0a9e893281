// The configuration's findings (config_finding.h) as pdu-host prints them:
// the report of --check, and what every other run starts with.
#pragma once

#include <string>

#include "configuration/host_config.h"

namespace pdu_host {

// --check: every finding in one run, those of the file's structure
// included, in file order, one line each on standard output, "SOURCE:
// devices[i] (id N) PATH: TEXT", then a count. 0 without findings, 1 with.
// A configuration file (`config_path`) that holds secrets and that others
// than its owner can read is a finding too.
int RunCheck(const HostConfig& config, const std::string& source,
             const std::string& config_path = "");

// Before any other run, on standard error. When the file's structure stops
// the run: each of those findings as "pdu-host: SOURCE: FINDING", the
// others as warnings, and false (the run exits 2, nothing polled).
// Otherwise every finding once as "pdu-host: warning: FINDING", and true.
// Without `look_up_names` a name is taken as resolving (a survey looks each
// up once, itself).
bool ReportConfig(const HostConfig& config, const std::string& source,
                  const std::string& config_path = "", bool look_up_names = true);

}  // namespace pdu_host
