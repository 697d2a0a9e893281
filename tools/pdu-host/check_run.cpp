#include "check_run.h"

#include <string>
#include <vector>

#include "complain.h"
#include "config_check.h"
#include "cycle_collector.h"
#include "host_run.h"

namespace pdu_host {

int RunCheck(const std::vector<DeviceEntry>& entries, const std::string& source) {
  const std::vector<ConfigFinding> findings = CheckDevices(entries);
  std::string report;
  for (const ConfigFinding& finding : findings) {
    report += source + ": " + FindingLine(finding) + "\n";
  }
  report += source + ": " + std::to_string(entries.size()) +
            (entries.size() == 1 ? " device, " : " devices, ") +
            (findings.empty() ? std::string("no findings")
                              : std::to_string(findings.size()) +
                                    (findings.size() == 1 ? " finding" : " findings")) +
            "\n";
  PrintWhole(report);
  return findings.empty() ? kExitOk : kExitShortfall;
}

void WarnAboutConfig(const std::vector<DeviceEntry>& entries) {
  for (const ConfigFinding& finding : CheckDevices(entries)) {
    Complain("warning: " + FindingLine(finding));
  }
}

}  // namespace pdu_host
