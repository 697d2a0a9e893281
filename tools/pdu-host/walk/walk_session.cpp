#include "walk/walk_session.h"

#include <map>
#include <mutex>
#include <string>

#include "driver/snmp_credentials.h"
#include "driver/usm_state.h"
#include "driver/walk_settings.h"

namespace pdu_host {
namespace {

// Every credential, each prefixed by its length: equal exactly when the
// credentials are.
std::string CredentialsKey(const pdu::SnmpCredentials& credentials) {
  std::string key = credentials.v3 ? "3" : "2c";
  for (const std::string* part :
       {&credentials.community, &credentials.security_name, &credentials.auth_protocol,
        &credentials.auth_passphrase, &credentials.priv_protocol, &credentials.priv_passphrase,
        &credentials.context_name}) {
    key += std::to_string(part->size()) + ':' + *part;
  }
  return key + pdu::LevelName(credentials.level);
}

}  // namespace

std::shared_ptr<const pdu::SessionSecurity> WalkSecurity(const DeviceEntry& entry) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const pdu::SessionSecurity>> made;
  const pdu::CredentialsReading reading = pdu::ReadCredentials(entry.config);
  // A reading with problems derives no key and is not worth keeping.
  if (!reading.problems.empty()) return std::make_shared<const pdu::SessionSecurity>(reading);
  const std::lock_guard<std::mutex> lock(mutex);
  std::shared_ptr<const pdu::SessionSecurity>& security = made[CredentialsKey(reading.credentials)];
  if (!security) security = std::make_shared<const pdu::SessionSecurity>(reading);
  return security;
}

void FillWalkSession(const DeviceEntry& entry, const pdu::SessionSecurity& security,
                     netsnmp_session& settings) {
  if (security.v3()) {
    // Before any v3 session opens: net-snmp sets v3 sessions up as they open.
    const std::lock_guard<std::mutex> lock(pdu::NetSnmpMutex());
    pdu::PrepareUsm();
  }
  snmp_sess_init(&settings);
  pdu::ApplyWalkSession(settings);
  security.Apply(settings);
  // net-snmp reads the peer name and copies it; it never writes it.
  settings.peername = const_cast<char*>(entry.address.c_str());
}

}  // namespace pdu_host
