#include "check_run.h"

#include <string>
#include <vector>

#include "complain.h"
#include "config_check.h"
#include "cycle_collector.h"
#include "host_run.h"

namespace pdu_host {

int RunCheck(const std::vector<DeviceEntry>& entries, const std::string& source,
             const std::string& config_path) {
  std::vector<std::string> findings;
  for (const ConfigFinding& finding : CheckDevices(entries)) {
    findings.push_back(FindingLine(finding));
  }
  if (const auto exposed = ReadableSecrets(config_path, entries)) findings.push_back(*exposed);
  std::string report;
  for (const std::string& finding : findings) report += source + ": " + finding + "\n";
  report += source + ": " + std::to_string(entries.size()) +
            (entries.size() == 1 ? " device, " : " devices, ") +
            (findings.empty() ? std::string("no findings")
                              : std::to_string(findings.size()) +
                                    (findings.size() == 1 ? " finding" : " findings")) +
            "\n";
  PrintWhole(report);
  return findings.empty() ? kExitOk : kExitShortfall;
}

void WarnAboutConfig(const std::vector<DeviceEntry>& entries, const std::string& config_path) {
  for (const ConfigFinding& finding : CheckDevices(entries)) {
    Complain("warning: " + FindingLine(finding));
  }
  if (const auto exposed = ReadableSecrets(config_path, entries)) {
    Complain("warning: config file " + config_path + " " + *exposed);
  }
}

}  // namespace pdu_host
