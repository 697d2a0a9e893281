// The security of a device's SNMP sessions: made once from the credentials
// of its configuration (snmp_credentials.h) and applied to the template of
// every session it opens. The driver walks with it, and so can pdu-host.
//
// v2c sets the version and the community. v3 sets the user, the security
// level, the protocols and the keys derived from the passphrases. Deriving a
// key hashes about a megabyte (RFC 3414's password-to-key), so it happens
// here, once per configuration, never per pass, and the passphrases are
// wiped once it has; net-snmp localises the keys to a PDU's engine, which is
// cheap, when a user entry is made for it (usm_state.h), once per security
// and engine. Sessions are v3 sessions that never probe for the engine by
// themselves: whoever opens one discovers the engine first or sets the
// engine ID it knows (v3_session.h).
//
// Nothing here is printed with its secrets: Description() names "the
// configured community" rather than one other than "tundra".
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "driver/snmp/netsnmp.h"
#include "driver/v3/snmp_credentials.h"

namespace pdu {

class SessionSecurity {
 public:
  // SNMP v2c, community "tundra".
  SessionSecurity() = default;
  // From what was read, whose passphrases it wipes; when the reading has
  // problems, or a key cannot be derived, problem() holds the first and the
  // security is not to be used.
  explicit SessionSecurity(CredentialsReading&& reading);
  // Frees the user entries made from its keys (usm_state.h).
  ~SessionSecurity();
  SessionSecurity(const SessionSecurity&) = delete;
  SessionSecurity& operator=(const SessionSecurity&) = delete;

  const std::optional<CredentialProblem>& problem() const { return problem_; }
  bool v3() const { return credentials_.v3; }
  const std::string& user() const { return credentials_.security_name; }
  SecurityLevel level() const { return credentials_.level; }
  // SNMP v2c with the community "tundra", which may be named in messages.
  bool default_community() const { return !v3() && credentials_.community == kDefaultCommunity; }

  // Sets version, community or v3 user, level, protocols and keys in a
  // template that ApplyWalkSession filled. The template points into this
  // object until net-snmp copies it when a session opens.
  void Apply(netsnmp_session& settings) const;

  // How the sessions speak, for messages: `SNMP v2c, community "tundra"`,
  // `SNMP v2c, the configured community`, `SNMP v3, user pdu-ops, authPriv`.
  std::string Description() const;

 private:
  void DeriveKeys();
  bool DeriveKey(const std::string& passphrase, unsigned char* key, std::size_t* length,
                 const char* member);

  SnmpCredentials credentials_;
  std::optional<CredentialProblem> problem_;
  const oid* auth_protocol_ = nullptr;
  std::size_t auth_protocol_length_ = 0;
  const oid* priv_protocol_ = nullptr;
  std::size_t priv_protocol_length_ = 0;
  unsigned char auth_key_[USM_AUTH_KU_LEN] = {};
  std::size_t auth_key_length_ = 0;
  unsigned char priv_key_[USM_PRIV_KU_LEN] = {};
  std::size_t priv_key_length_ = 0;
};

}  // namespace pdu
