// After the run, for --explain and --record: pdu-host walks each device's
// table once more itself (table_walk.h), with its credentials, prints the explanation of each
// (explain_report.h) and writes the capture: a .snmprec file for a name that
// ends so (snmprec_file.h), else the simulator's data file (capture_file.h).
// Devices without an address are named and skipped, and so is the walk of a
// device whose last pass timed out (it would wait out another time-out): its
// explanation says "no response" at once.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "configuration/host_config.h"

namespace pdu_host {

// The record device `id` published last; none when it published none.
using LastRecordOf = std::function<std::optional<std::vector<unsigned char>>(unsigned int id)>;

// `explain`: --explain was given; `record_path`: --record's file, empty
// without it. False when a walk stopped early, a walk for --explain found
// fields the plug-in does not store (not served, or of a type it ignores),
// or the capture could not be written; each such problem is named on
// standard error. `closing` gets the lines for the end of the run: the file
// written and what it holds, where the explanations went.
bool ExplainAndRecord(bool explain, const std::string& record_path,
                      const std::vector<DeviceEntry>& entries, const LastRecordOf& last_record,
                      const std::function<bool(unsigned int id)>& timed_out,
                      std::vector<std::string>& closing);

}  // namespace pdu_host
