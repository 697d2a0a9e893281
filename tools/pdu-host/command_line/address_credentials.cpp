#include "command_line/address_credentials.h"

#include <strings.h>

#include <cstdlib>
#include <string>

#include "command_line/options.h"
#include "common/file_io.h"

namespace pdu_host {
namespace {

constexpr std::size_t kMaxSecretFileBytes = 4096;

// The first line of `path`, without its line end.
std::string SecretFromFile(const std::string& path, const char* option) {
  std::string text;
  try {
    text = ReadWholeFile(path, kMaxSecretFileBytes, std::string(option) + " file");
  } catch (const FileError& e) {
    throw UsageError(e.what());
  }
  text = text.substr(0, text.find('\n'));
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (text.empty())
    throw UsageError(std::string(option) + " " + path + ": its first line is empty");
  return text;
}

// The variable's text; none when it is unset or empty.
const char* Variable(const char* variable) {
  const char* value = variable != nullptr ? std::getenv(variable) : nullptr;
  return value != nullptr && *value != '\0' ? value : nullptr;
}

void AddSecret(CredentialMembers& members, const char* member, const std::string& file,
               const char* option, const char* variable) {
  if (!file.empty()) {
    members.emplace_back(member, SecretFromFile(file, option));
  } else if (const char* value = Variable(variable)) {
    members.emplace_back(member, value);
  }
}

// SNMP v3 settings without --snmp-version 3: the device would otherwise
// speak v2c, in clear text, which whoever gave them did not mean. With
// --snmp-version 2c said outright, passphrases in the environment are
// merely not read.
void RefuseV3WithoutVersion(const AddressCredentialOptions& options) {
  const std::pair<const char*, const std::string*> v3_only[] = {
      {"--security-name", &options.security_name},
      {"--security-level", &options.security_level},
      {"--auth-protocol", &options.auth_protocol},
      {"--priv-protocol", &options.priv_protocol},
      {"--context-name", &options.context_name},
      {"--auth-passphrase-file", &options.auth_passphrase_file},
      {"--priv-passphrase-file", &options.priv_passphrase_file}};
  for (const auto& [option, value] : v3_only) {
    if (!value->empty()) {
      throw UsageError(std::string(option) +
                       " is for SNMP v3, and --snmp-version 3 is not given: give it, or leave " +
                       option + " out (nothing falls back to v2c)");
    }
  }
  if (!options.snmp_version.empty()) return;
  for (const char* variable : {"PDU_AUTH_PASSPHRASE", "PDU_PRIV_PASSPHRASE"}) {
    if (Variable(variable) != nullptr) {
      throw UsageError(std::string(variable) +
                       " is set, and only SNMP v3 uses it, but --snmp-version 3 is not given: "
                       "give it (with --security-name), or --snmp-version 2c, or unset " +
                       variable);
    }
  }
}

bool Given(const CredentialMembers& members, const char* member) {
  for (const auto& [name, value] : members) {
    if (name == member) return true;
  }
  return false;
}

bool LevelIs(const std::string& level, const char* name) {
  return strcasecmp(level.c_str(), name) == 0;
}

// A passphrase the options ask for and no file or variable gave: the run
// would otherwise stop at the device, after the configuration is read.
void RequireAskedPassphrases(const AddressCredentialOptions& options,
                             const CredentialMembers& members) {
  const bool priv_asked = options.security_level.empty()
                              ? !options.priv_protocol.empty() || Given(members, "priv_passphrase")
                              : LevelIs(options.security_level, "authPriv");
  const bool auth_asked = priv_asked || (options.security_level.empty()
                                             ? !options.auth_protocol.empty()
                                             : LevelIs(options.security_level, "authNoPriv"));
  const std::string level = "--security-level " + options.security_level;
  const std::string auth_why =
      !options.security_level.empty()  ? level
      : !options.auth_protocol.empty() ? "--auth-protocol " + options.auth_protocol
      : !options.priv_protocol.empty() ? "--priv-protocol " + options.priv_protocol
                                       : std::string("a priv passphrase");
  const std::string priv_why =
      !options.security_level.empty() ? level : "--priv-protocol " + options.priv_protocol;
  const auto require = [&](bool asked, const char* member, const std::string& why, const char* what,
                           const char* file_option, const char* variable) {
    if (!asked || Given(members, member)) return;
    throw UsageError(why + " needs " + what + ", and none was given: name a file with " +
                     file_option + ", or set " + variable + " (unset or empty here)");
  };
  require(auth_asked, "auth_passphrase", auth_why, "an auth passphrase", "--auth-passphrase-file",
          "PDU_AUTH_PASSPHRASE");
  require(priv_asked, "priv_passphrase", priv_why, "a priv passphrase", "--priv-passphrase-file",
          "PDU_PRIV_PASSPHRASE");
}

}  // namespace

CredentialMembers AddressCredentials(const AddressCredentialOptions& options) {
  CredentialMembers members;
  const std::pair<const char*, const std::string*> plain[] = {
      {"snmp_version", &options.snmp_version},     {"security_name", &options.security_name},
      {"security_level", &options.security_level}, {"auth_protocol", &options.auth_protocol},
      {"priv_protocol", &options.priv_protocol},   {"context_name", &options.context_name}};
  for (const auto& [member, value] : plain) {
    if (!value->empty()) members.emplace_back(member, *value);
  }
  if (options.snmp_version != "3") {
    RefuseV3WithoutVersion(options);
    AddSecret(members, "community", options.community_file, "--community-file", "PDU_COMMUNITY");
    return members;
  }
  // v3 reads no community; one named all the same is --check's to point out.
  if (!options.community_file.empty()) {
    AddSecret(members, "community", options.community_file, "--community-file", nullptr);
  }
  AddSecret(members, "auth_passphrase", options.auth_passphrase_file, "--auth-passphrase-file",
            "PDU_AUTH_PASSPHRASE");
  AddSecret(members, "priv_passphrase", options.priv_passphrase_file, "--priv-passphrase-file",
            "PDU_PRIV_PASSPHRASE");
  RequireAskedPassphrases(options, members);
  return members;
}

}  // namespace pdu_host
