// pdu-host: runs the PDU plug-in on a desk as the monitoring host does.
// See --help (options.cpp) for the options and exit statuses.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "host_run.h"
#include "options.h"
#include "standard_descriptors.h"
#include "version_report.h"

int main(int argc, char** argv) {
  pdu_host::OpenClosedStandardDescriptors();
  pdu_host::Options options;
  try {
    options = pdu_host::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const pdu_host::UsageError& e) {
    std::fprintf(stderr, "pdu-host: %s\n", e.what());
    return pdu_host::kExitBadInput;
  }
  if (options.help) {
    std::fputs(pdu_host::HelpText().c_str(), stdout);
    return pdu_host::kExitOk;
  }
  if (options.version) return pdu_host::ReportVersions(options.plugin_path);
  try {
    return pdu_host::RunHost(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pdu-host: %s\n", e.what());
    return pdu_host::kExitShortfall;
  }
}
