// The SNMP credentials of a device, read from the members of its appSetting:
//
//   snmp_version     "2c" (default) or "3"
//   community        v2c community, default "tundra"
//   security_name    v3 user
//   security_level   noAuthNoPriv, authNoPriv or authPriv; default: what the
//                    members given ask for: authPriv when a priv_* member is
//                    given, authNoPriv when only auth_* members are,
//                    noAuthNoPriv when neither is
//   auth_protocol    MD5, SHA (default), SHA-224, SHA-256, SHA-384, SHA-512
//   auth_passphrase
//   priv_protocol    DES, AES (default, AES-128), AES-192, AES-256
//   priv_passphrase
//   context_name     default empty
//
// Each is read as text like the other settings (a number reads as its
// digits), and counts when present and not null; without any of them a
// device speaks v2c with community "tundra" as it always did. Protocol and
// level names are those of net-snmp's command-line tools (-a, -x, -l), in
// any case. A protocol must also be one the loaded net-snmp offers.
//
// Nothing gives less security than the configuration asks for: a v3 member
// without snmp_version "3" is a problem (never v2c, nor "tundra"), and a
// level whose passphrase is missing or short is one.
//
// A problem names the member and says what to write instead; it never holds
// the value of a member, which may be a secret typed in the wrong place.
#pragma once

#include <string>
#include <vector>

#include <json/value.h>

namespace pdu {

inline constexpr char kDefaultCommunity[] = "tundra";
// net-snmp refuses to derive a key from a shorter passphrase.
inline constexpr std::size_t kMinPassphraseBytes = 8;

enum class SecurityLevel { kNoAuthNoPriv, kAuthNoPriv, kAuthPriv };

struct SnmpCredentials {
  bool v3 = false;
  std::string community = kDefaultCommunity;
  std::string security_name;
  SecurityLevel level = SecurityLevel::kNoAuthNoPriv;
  std::string auth_protocol = "SHA";  // as net-snmp spells it
  std::string auth_passphrase;
  std::string priv_protocol = "AES";
  std::string priv_passphrase;
  std::string context_name;
};

struct CredentialProblem {
  std::string member;  // "appSetting.priv_protocol"
  std::string text;    // what is wrong and what to write instead
};

struct CredentialsReading {
  SnmpCredentials credentials;
  std::vector<CredentialProblem> problems;  // none: the credentials can be used
  bool any_member = false;                  // some credential member is present
};

// The credential members of appSetting, in the order above.
const std::vector<std::string>& CredentialMembers();
// Those only SNMP v3 reads.
const std::vector<std::string>& V3Members();

// Reads the credentials from a device's whole configuration object.
CredentialsReading ReadCredentials(const Json::Value& config);

// "noAuthNoPriv", "authNoPriv", "authPriv"
const char* LevelName(SecurityLevel level);

}  // namespace pdu
