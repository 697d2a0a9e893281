// Command-line options of pdu-host.
//
// ParseOptions reads the arguments after the program name; it throws
// UsageError with a one-line message for an unknown option, a missing or
// repeated one, a missing value, a value out of range and a combination that
// does not go together. `--opt VALUE` and `--opt=VALUE` are both accepted.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "command_line/address_credentials.h"
#include "configuration/host_config.h"
#include "run_as_host/host_run.h"

namespace pdu_host {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr unsigned kMaxPasses = 1'000'000;
inline constexpr double kMaxSeconds = 86'400;

struct Options {
  bool help = false;
  bool help_config = false;  // print the configuration reference
  std::string config_path;  // exactly one of config_path and address is set
  std::string address;      // one polled device, id 1, in mode 2
  HostRunRequest run;       // the ordinary run's options
  bool survey = false;      // walk every PDU once and judge it; no plug-in
  bool json = false;        // --survey's result as one JSON document
  bool check = false;       // only report the configuration's mistakes
  bool version = false;     // print pdu-host's and the plug-in's versions
  // The appSetting credential members of --address's device, and the files
  // its secrets were read from.
  CredentialMembers address_credentials;
  std::vector<SecretFile> secret_files;
};

Options ParseOptions(const std::vector<std::string>& args);

// The --help text.
std::string HelpText();

}  // namespace pdu_host
