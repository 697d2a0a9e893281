#include "walk/walk_session.h"

#include <string.h>

#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

#include "driver/v3/snmp_credentials.h"
#include "driver/v3/usm_state.h"
#include "driver/walk/walk_settings.h"

namespace pdu_host {
namespace {

// A digest of every credential, each prefixed by its length, salted with
// bytes of this process's own: equal exactly when the credentials are, and
// holding none of them.
std::string CredentialsKey(const pdu::SnmpCredentials& credentials) {
  static const std::string salt = [] {
    std::random_device random;
    std::string bytes;
    for (int i = 0; i < 16; ++i) bytes += static_cast<char>(random());
    return bytes;
  }();
  std::string text = salt + (credentials.v3 ? "3" : "2c") + pdu::LevelName(credentials.level);
  for (const std::string* part :
       {&credentials.community, &credentials.security_name, &credentials.auth_protocol,
        &credentials.auth_passphrase, &credentials.priv_protocol, &credentials.priv_passphrase,
        &credentials.context_name}) {
    text += std::to_string(part->size()) + ':' + *part;
  }
  u_char digest[SNMP_MAXBUF_SMALL];
  std::size_t length = sizeof digest;
  const int hashed =
      sc_hash(usmHMACSHA1AuthProtocol, std::size(usmHMACSHA1AuthProtocol),
              reinterpret_cast<const u_char*>(text.data()), text.size(), digest, &length);
  explicit_bzero(&text[0], text.size());
  if (hashed != SNMPERR_SUCCESS) throw std::runtime_error("net-snmp cannot hash (SHA-1)");
  return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace

std::shared_ptr<const pdu::SessionSecurity> WalkSecurity(const DeviceEntry& entry) {
  static pdu::Mutex mutex;
  static std::map<std::string, std::shared_ptr<const pdu::SessionSecurity>> made PDU_GUARDED_BY(
      mutex);
  pdu::CredentialsReading reading = pdu::ReadCredentials(entry.config);
  // A reading with problems derives no key and is not worth keeping.
  if (!reading.problems.empty()) {
    return std::make_shared<const pdu::SessionSecurity>(std::move(reading));
  }
  const std::string key = CredentialsKey(reading.credentials);
  const pdu::MutexLock lock(mutex);
  std::shared_ptr<const pdu::SessionSecurity>& security = made[key];
  if (!security) security = std::make_shared<const pdu::SessionSecurity>(std::move(reading));
  return security;
}

void FillWalkSession(const DeviceEntry& entry, const pdu::SessionSecurity& security,
                     netsnmp_session& settings) {
  if (security.v3()) {
    // Before any v3 session opens: net-snmp sets v3 sessions up as they open.
    const pdu::MutexLock lock(pdu::NetSnmpMutex());
    pdu::PrepareUsm();
  }
  snmp_sess_init(&settings);
  pdu::ApplyWalkSession(settings);
  security.Apply(settings);
  // net-snmp reads the peer name and copies it; it never writes it.
  settings.peername = const_cast<char*>(entry.address.c_str());
}

}  // namespace pdu_host
