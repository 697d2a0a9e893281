#include "driver/v3/v3_session.h"

#include <cstring>
#include <string>
#include <utility>

#include "driver/v3/usm_state.h"

namespace pdu {
namespace {

V3Setup Discover(void* session, const SessionSecurity& security, WakeWatch& wake,
                 RequestState& state) {
  PduHandle request(EngineDiscoveryRequest());
  if (request == nullptr) return V3Setup::kNoEngine;
  PduHandle response;  // an answer, but no report
  const RequestStatus status =
      SendAndWait(session, std::move(request), &response, wake, state, &security);
  if (status == RequestStatus::kStopped) return V3Setup::kStopped;
  if (status == RequestStatus::kTimeout) return V3Setup::kTimeout;
  return V3Setup::kReady;
}

}  // namespace

void KeepFromProbing(void* session) { snmp_sess_session(session)->flags |= SNMP_FLAGS_DONT_PROBE; }

netsnmp_pdu* EngineDiscoveryRequest() {
  netsnmp_pdu* request = nullptr;
  {
    // Request and message ids come from unlocked library-wide counters.
    const MutexLock lock(NetSnmpMutex());
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

V3Setup UseEngine(void* session, const std::string& engine_id) {
  if (engine_id.empty()) return V3Setup::kNoEngine;
  netsnmp_session* settings = snmp_sess_session(session);
  const MutexLock lock(NetSnmpMutex());
  if (settings->securityEngineIDLen == 0) {
    settings->securityEngineID =
        static_cast<u_char*>(netsnmp_memdup(engine_id.data(), engine_id.size()));
    if (settings->securityEngineID == nullptr) return V3Setup::kNoEngine;
    settings->securityEngineIDLen = engine_id.size();
  }
  return V3Setup::kReady;
}

V3Setup ReadyV3Session(void* session, const SessionSecurity& security, WakeWatch& wake,
                       RequestState& state, bool* discovered) {
  KeepFromProbing(session);
  std::string engine_id;
  {
    const MutexLock lock(NetSnmpMutex());
    engine_id = KnownEngineId(session);
  }
  if (discovered != nullptr) *discovered = engine_id.empty();
  if (engine_id.empty()) {
    const V3Setup setup = Discover(session, security, wake, state);
    if (setup != V3Setup::kReady) return setup;
    // net-snmp copied the engine ID of the report into the session.
    const netsnmp_session* settings = snmp_sess_session(session);
    engine_id.assign(reinterpret_cast<const char*>(settings->securityEngineID),
                     settings->securityEngineIDLen);
  }
  return UseEngine(session, engine_id);
}

void ForgetEngine(void* session) {
  const MutexLock lock(NetSnmpMutex());
  ForgetPeerEngine(session);
}

}  // namespace pdu
