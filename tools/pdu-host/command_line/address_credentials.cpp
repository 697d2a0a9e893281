#include "command_line/address_credentials.h"

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

void AddSecret(CredentialMembers& members, const char* member, const std::string& file,
               const char* option, const char* variable) {
  if (!file.empty()) {
    members.emplace_back(member, SecretFromFile(file, option));
  } else if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
    members.emplace_back(member, value);
  }
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
  AddSecret(members, "community", options.community_file, "--community-file", "PDU_COMMUNITY");
  AddSecret(members, "auth_passphrase", options.auth_passphrase_file, "--auth-passphrase-file",
            "PDU_AUTH_PASSPHRASE");
  AddSecret(members, "priv_passphrase", options.priv_passphrase_file, "--priv-passphrase-file",
            "PDU_PRIV_PASSPHRASE");
  return members;
}

}  // namespace pdu_host
