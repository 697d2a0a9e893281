// The SNMP credentials of --address: the settings a configuration file gives
// a device in its appSetting (snmp_version, community, security_name, ...),
// from options, except the secrets. The community and the passphrases come
// from a file named by an option (its first line) or from the environment
// (PDU_COMMUNITY, PDU_AUTH_PASSPHRASE, PDU_PRIV_PASSPHRASE), never from the
// command line, where ps shows them to everyone. A file is preferred to the
// environment; an empty variable counts as unset.
//
// Nothing asks for less than the options name: a v3 option without
// --snmp-version 3, a passphrase variable set without any --snmp-version,
// and a level (named, or asked for by a protocol option) whose passphrase no
// file or variable gives each stop the run before anything is sent.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pdu_host {

struct AddressCredentialOptions {
  std::string snmp_version;
  std::string security_name;
  std::string security_level;
  std::string auth_protocol;
  std::string priv_protocol;
  std::string context_name;
  std::string community_file;
  std::string auth_passphrase_file;
  std::string priv_passphrase_file;
};

// appSetting member and its text, for the members given.
using CredentialMembers = std::vector<std::pair<std::string, std::string>>;

// Reads the secrets; throws UsageError (options.h) naming the option or the
// variable, never a secret, when a file cannot be read or holds no line, or
// for the mistakes above.
CredentialMembers AddressCredentials(const AddressCredentialOptions& options);

}  // namespace pdu_host
