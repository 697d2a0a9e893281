// pdu-bench: the survey of a whole site. pdu-host --survey walks the PDUs
// at the given live addresses and D dead ones (loopback ports held and never
// read, one in every N/D of the configuration), every device configured with
// the same credentials; pdu-host runs as a child process, so its own peak
// resident memory (VmHWM) is measured with its wall time, and its states
// and engine IDs read from its --json document.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <json/value.h>

namespace bench {

struct SurveyFigures {
  double seconds = 0;          // wall time of the pdu-host process
  long peak_kib = 0;           // its peak resident memory
  int exit_status = -1;        // -1: killed or not run
  std::size_t ok = 0;          // PDUs judged ok
  std::size_t silent = 0;      // PDUs judged no response
  std::size_t other = 0;       // PDUs judged anything else, or not at all
  double slowest_ok = 0;       // the longest walk of a PDU judged ok
  std::size_t engine_ids = 0;  // SNMP v3 engine IDs the PDUs answered with
  std::size_t shared_ids = 0;  // of them answered by several PDUs
};

// Surveys `live` and `dead` more; each device's appSetting is `app_setting`
// (null for none: SNMP v2c, community tundra).
SurveyFigures SurveySite(const std::string& pdu_host, const std::vector<std::string>& live,
                         std::size_t dead, const Json::Value& app_setting = Json::Value());

// Prints the figures under `title`, which names the PDUs and how they are
// served, with the difference from `baseline` (the v2c figure) when given;
// false when the states are not what the site holds.
bool ReportSurveySite(const std::string& title, std::size_t dead, const SurveyFigures& figures,
                      const SurveyFigures* baseline = nullptr);

}  // namespace bench
