// pdu-host: runs the PDU plug-in on a desk as the monitoring host does.
// See --help (options.cpp) for the options and exit statuses.
//
// Chooses the mode: --help, --version, or, once the configuration is read
// (or --address's device made), --check, --survey or the ordinary run with
// its --explain and --record.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "check/check_run.h"
#include "command_line/configuration_reference.h"
#include "command_line/options.h"
#include "command_line/standard_descriptors.h"
#include "command_line/version_report.h"
#include "common/complain.h"
#include "common/exit_status.h"
#include "configuration/host_config.h"
#include "run_as_host/host_run.h"
#include "survey/survey_run.h"

namespace pdu_host {
namespace {

int RunMode(const Options& options) {
  HostConfig config;
  try {
    if (options.address.empty()) {
      config = LoadHostConfig(options.config_path);
    } else {
      config.entries.push_back(AddressDevice(options.address, options.address_credentials));
      config.secret_files = options.secret_files;
    }
  } catch (const std::exception& e) {
    Complain(e.what());
    return kExitBadInput;
  }
  const std::string source = options.address.empty() ? "config file " + options.config_path
                                                     : "--address " + options.address;
  if (options.check) return RunCheck(config, source, options.config_path);
  if (options.survey) {
    if (!ReportConfig(config, source, "", /*look_up_names=*/false)) return kExitBadInput;
    return RunSurvey(config.entries, options.json);
  }
  return RunHost(options.run, config, source, options.config_path);
}

}  // namespace
}  // namespace pdu_host

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
  if (options.help_config) {
    std::fputs(pdu_host::ConfigurationReference(), stdout);
    return pdu_host::kExitOk;
  }
  if (options.version) return pdu_host::ReportVersions(options.run.plugin_path);
  try {
    return pdu_host::RunMode(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pdu-host: %s\n", e.what());
    return pdu_host::kExitShortfall;
  }
}
