// pdu-bench: the survey of a whole site. pdu-host --survey walks N PDUs, D
// of them dead (loopback ports held and never read, one in every N/D), the
// others served by one simulated PDU listening on N - D ports; pdu-host runs
// as a child process, so its own peak resident memory (VmHWM) is measured
// with its wall time.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

struct SurveyFigures {
  double seconds = 0;      // wall time of the pdu-host process
  long peak_kib = 0;       // its peak resident memory
  int exit_status = -1;    // -1: killed or not run
  std::string summary;     // its table's last line
  std::size_t ok = 0;      // PDUs judged ok
  std::size_t silent = 0;  // PDUs judged no response
};

SurveyFigures SurveySite(const std::string& pdu_host, std::size_t pdus, std::size_t dead);

// Prints the figures; false when the states are not what the site holds.
bool ReportSurveySite(const std::string& pdu_host, std::size_t pdus, std::size_t dead,
                      const SurveyFigures& figures);

}  // namespace bench
