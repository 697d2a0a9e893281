#include "check/check_run.h"

#include <algorithm>
#include <string>
#include <vector>

#include "check/config_check.h"
#include "common/complain.h"
#include "common/console_output.h"
#include "common/exit_status.h"

namespace pdu_host {
namespace {

// The structure's findings and each device's, in file order: the top
// level first, then device by device, structural ones first.
std::vector<ConfigFinding> AllFindings(const HostConfig& config, bool look_up_names = true) {
  std::vector<ConfigFinding> findings = config.findings;
  const std::vector<ConfigFinding> devices = CheckDevices(config.entries, look_up_names);
  findings.insert(findings.end(), devices.begin(), devices.end());
  std::stable_sort(
      findings.begin(), findings.end(), [](const ConfigFinding& a, const ConfigFinding& b) {
        const auto position = [](const ConfigFinding& f) { return f.index ? *f.index + 1 : 0; };
        return position(a) < position(b);
      });
  return findings;
}

}  // namespace

int RunCheck(const HostConfig& config, const std::string& source, const std::string& config_path) {
  std::vector<std::string> findings;
  for (const ConfigFinding& finding : AllFindings(config)) {
    findings.push_back(FindingLine(finding));
  }
  for (const std::string& exposed : ReadableSecrets(config, config_path)) {
    findings.push_back(exposed);
  }
  const std::size_t devices = config.entries.size();
  std::string report;
  for (const std::string& finding : findings) report += source + ": " + finding + "\n";
  report += source + ": " + std::to_string(devices) + (devices == 1 ? " device, " : " devices, ") +
            (findings.empty() ? std::string("no findings")
                              : std::to_string(findings.size()) +
                                    (findings.size() == 1 ? " finding" : " findings")) +
            "\n";
  WriteOut(report);
  return findings.empty() ? kExitOk : kExitShortfall;
}

bool ReportConfig(const HostConfig& config, const std::string& source,
                  const std::string& config_path, bool look_up_names) {
  std::size_t stopping = 0;
  for (const ConfigFinding& finding : AllFindings(config, look_up_names)) {
    if (finding.structural) ++stopping;
    Complain((finding.structural ? source + ": " : std::string("warning: ")) +
             FindingLine(finding));
  }
  for (const std::string& exposed : ReadableSecrets(config, config_path)) {
    Complain("warning: " + exposed);
  }
  if (stopping == 0) return true;
  Complain(source + ": nothing was polled: " +
           (stopping == 1 ? std::string("the mistake above stops")
                          : "the " + std::to_string(stopping) + " mistakes above stop") +
           " every run but --check");
  return false;
}

}  // namespace pdu_host
