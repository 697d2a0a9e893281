#include "driver/v3_session.h"

#include <cstring>
#include <mutex>
#include <string>

#include "driver/usm_state.h"

namespace pdu {
namespace {

V3Setup Discover(void* session, WakeWatch& wake, RequestState& state) {
  netsnmp_pdu* request = EngineDiscoveryRequest();
  if (request == nullptr) return V3Setup::kNoEngine;
  netsnmp_pdu* response = nullptr;
  const int status = SendAndWait(session, request, &response, wake, state);
  if (response != nullptr) snmp_free_pdu(response);  // an answer, but no report
  if (status == kStatStopped) return V3Setup::kStopped;
  if (status == STAT_TIMEOUT) return V3Setup::kTimeout;
  return V3Setup::kReady;
}

}  // namespace

void KeepFromProbing(void* session) { snmp_sess_session(session)->flags |= SNMP_FLAGS_DONT_PROBE; }

netsnmp_pdu* EngineDiscoveryRequest() {
  netsnmp_pdu* request = nullptr;
  {
    // Request and message ids come from unlocked library-wide counters.
    std::lock_guard<std::mutex> lock(NetSnmpMutex());
    request = snmp_pdu_create(SNMP_MSG_GET);
  }
  if (request == nullptr) return nullptr;
  request->version = SNMP_VERSION_3;
  request->securityName = strdup("");
  request->securityNameLen = 0;
  request->securityLevel = SNMP_SEC_LEVEL_NOAUTH;
  request->securityModel = SNMP_SEC_MODEL_USM;
  return request;
}

V3Setup UseEngine(void* session, const std::string& peer, const std::string& engine_id,
                  const SessionSecurity& security, const void* owner) {
  if (engine_id.empty()) return V3Setup::kNoEngine;
  netsnmp_session* settings = snmp_sess_session(session);
  std::lock_guard<std::mutex> lock(NetSnmpMutex());
  RememberEngineId(peer, engine_id);
  if (settings->securityEngineIDLen == 0) {
    settings->securityEngineID =
        static_cast<u_char*>(netsnmp_memdup(engine_id.data(), engine_id.size()));
    if (settings->securityEngineID == nullptr) return V3Setup::kNoEngine;
    settings->securityEngineIDLen = engine_id.size();
  }
  if (!ClaimUsmUser(owner, engine_id, security.user(), security.KeyIdentity())) {
    return V3Setup::kUserConflict;
  }
  usm_create_user_from_session(settings);
  return V3Setup::kReady;
}

std::string UserConflictReason(const std::string& user) {
  return "appSetting.security_name: user " + user +
         " on this PDU is used by another device of this process with other protocols or "
         "passphrases, and net-snmp keeps one set per user and PDU: give both devices the same";
}

V3Setup ReadyV3Session(void* session, const std::string& peer, const SessionSecurity& security,
                       const void* owner, WakeWatch& wake, RequestState& state) {
  KeepFromProbing(session);
  std::string engine_id;
  {
    std::lock_guard<std::mutex> lock(NetSnmpMutex());
    engine_id = KnownEngineId(peer);
  }
  if (engine_id.empty()) {
    const V3Setup discovered = Discover(session, wake, state);
    if (discovered != V3Setup::kReady) return discovered;
    // net-snmp copied the engine ID of the report into the session.
    const netsnmp_session* settings = snmp_sess_session(session);
    engine_id.assign(reinterpret_cast<const char*>(settings->securityEngineID),
                     settings->securityEngineIDLen);
  }
  return UseEngine(session, peer, engine_id, security, owner);
}

void ForgetPeerEngine(const std::string& peer) {
  std::lock_guard<std::mutex> lock(NetSnmpMutex());
  const std::string engine_id = KnownEngineId(peer);
  if (engine_id.empty()) return;
  // Boots and time of 0 give way to whatever the PDU says next, even fewer
  // boots than before (a reset PDU), which net-snmp would otherwise refuse.
  set_enginetime(reinterpret_cast<const u_char*>(engine_id.data()),
                 static_cast<u_int>(engine_id.size()), 0, 0, TRUE);
  ForgetEngineId(peer);
}

}  // namespace pdu
