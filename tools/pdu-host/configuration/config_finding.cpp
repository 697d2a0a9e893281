#include "configuration/config_finding.h"

#include <string>

namespace pdu_host {

std::string FindingLine(const ConfigFinding& finding) {
  std::string where;
  if (finding.index) {
    where = "devices[" + std::to_string(*finding.index) + "]";
    if (finding.id) where += " (id " + std::to_string(*finding.id) + ")";
    if (!finding.path.empty()) where += " " + finding.path;
  } else {
    where = finding.path;
  }
  return where + ": " + finding.text;
}

}  // namespace pdu_host
