#include "driver/v3/session_security.h"

#include <string.h>

#include <cstring>
#include <string>

#include "driver/v3/usm_state.h"

namespace pdu {
namespace {

void Wipe(std::string& secret) {
  explicit_bzero(&secret[0], secret.size());
  secret.clear();
  secret.shrink_to_fit();
}

}  // namespace

SessionSecurity::SessionSecurity(CredentialsReading&& reading) : credentials_(reading.credentials) {
  Wipe(reading.credentials.auth_passphrase);
  Wipe(reading.credentials.priv_passphrase);
  if (!reading.problems.empty()) {
    problem_ = reading.problems.front();
  } else if (v3() && level() != SecurityLevel::kNoAuthNoPriv) {
    DeriveKeys();
  }
  Wipe(credentials_.auth_passphrase);
  Wipe(credentials_.priv_passphrase);
}

SessionSecurity::~SessionSecurity() {
  if (!v3()) return;
  const MutexLock lock(NetSnmpMutex());
  ReleaseUsmUsers(this);
}

void SessionSecurity::DeriveKeys() {
  auth_protocol_ = sc_get_auth_oid(usm_lookup_auth_type(credentials_.auth_protocol.c_str()),
                                   &auth_protocol_length_);
  if (!DeriveKey(credentials_.auth_passphrase, auth_key_, &auth_key_length_, "auth_passphrase")) {
    return;
  }
  if (level() != SecurityLevel::kAuthPriv) return;
  priv_protocol_ = sc_get_priv_oid(usm_lookup_priv_type(credentials_.priv_protocol.c_str()),
                                   &priv_protocol_length_);
  if (priv_protocol_ == nullptr) {
    problem_ = CredentialProblem{
        "appSetting.priv_protocol",
        credentials_.priv_protocol + " is not offered by the loaded net-snmp (built without it)"};
    return;
  }
  DeriveKey(credentials_.priv_passphrase, priv_key_, &priv_key_length_, "priv_passphrase");
}

bool SessionSecurity::DeriveKey(const std::string& passphrase, unsigned char* key,
                                std::size_t* length, const char* member) {
  // Both keys are hashed with the authentication protocol's digest.
  *length = USM_AUTH_KU_LEN;
  if (auth_protocol_ != nullptr &&
      generate_Ku(auth_protocol_, static_cast<u_int>(auth_protocol_length_),
                  reinterpret_cast<const u_char*>(passphrase.data()), passphrase.size(), key,
                  length) == SNMPERR_SUCCESS) {
    return true;
  }
  *length = 0;
  problem_ = CredentialProblem{
      std::string("appSetting.") + member,
      "net-snmp derives no key from it with " + credentials_.auth_protocol + " (auth_protocol)"};
  return false;
}

void SessionSecurity::Apply(netsnmp_session& settings) const {
  if (!v3()) {
    settings.version = SNMP_VERSION_2c;
    // net-snmp copies the community when it opens a session.
    settings.community =
        reinterpret_cast<u_char*>(const_cast<char*>(credentials_.community.data()));
    settings.community_len = credentials_.community.size();
    return;
  }
  settings.version = SNMP_VERSION_3;
  settings.securityModel = SNMP_SEC_MODEL_USM;
  settings.flags |= SNMP_FLAGS_DONT_PROBE;
  settings.securityName = const_cast<char*>(credentials_.security_name.c_str());
  settings.securityNameLen = credentials_.security_name.size();
  settings.contextName = const_cast<char*>(credentials_.context_name.c_str());
  settings.contextNameLen = credentials_.context_name.size();
  switch (level()) {
    case SecurityLevel::kNoAuthNoPriv:
      settings.securityLevel = SNMP_SEC_LEVEL_NOAUTH;
      break;
    case SecurityLevel::kAuthNoPriv:
      settings.securityLevel = SNMP_SEC_LEVEL_AUTHNOPRIV;
      break;
    case SecurityLevel::kAuthPriv:
      settings.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
      break;
  }
  if (auth_protocol_ != nullptr) {
    settings.securityAuthProto = const_cast<oid*>(auth_protocol_);
    settings.securityAuthProtoLen = auth_protocol_length_;
    std::memcpy(settings.securityAuthKey, auth_key_, auth_key_length_);
    settings.securityAuthKeyLen = auth_key_length_;
  }
  if (priv_protocol_ != nullptr) {
    settings.securityPrivProto = const_cast<oid*>(priv_protocol_);
    settings.securityPrivProtoLen = priv_protocol_length_;
    std::memcpy(settings.securityPrivKey, priv_key_, priv_key_length_);
    settings.securityPrivKeyLen = priv_key_length_;
  }
}

std::string SessionSecurity::Description() const {
  if (!v3()) {
    return credentials_.community == kDefaultCommunity
               ? std::string("SNMP v2c, community \"") + kDefaultCommunity + "\""
               : "SNMP v2c, the configured community";
  }
  return "SNMP v3, user " + user() + ", " + LevelName(level());
}

}  // namespace pdu
