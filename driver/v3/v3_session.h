// Readying an open SNMP v3 session for its requests: the PDU's engine.
//
// The engine ID learned for the PDU earlier in the process is used again;
// otherwise it is discovered as net-snmp's tools discover it when they open
// a session (usm_discover_engineid): one GET as the empty user without
// authentication, which the PDU answers with an unknownEngineID report
// carrying its engine ID, boots and time. Unlike the library's own probe
// inside snmp_sess_open, this one waits through SendAndWait: a stop of the
// wake-up descriptor ends it at once, and NetSnmpMutex() is held only while
// the library builds or reads a message. The boots and time the report
// brings, and those of every later authenticated message, are kept for the
// PDU (usm_state.h): a PDU that rebooted answers the next request with
// notInTimeWindow and its new boots, and the request is sent again.
//
// ReadyV3Session does it all, waiting on the calling thread. A caller that
// waits for many sessions at once (pdu-host) sends EngineDiscoveryRequest
// itself, without a probe of the library's, and then calls UseEngine.
#pragma once

#include <string>

#include "driver/snmp/interruptible_request.h"
#include "driver/snmp/netsnmp.h"
#include "driver/v3/session_security.h"
#include "driver/waiting/wake_event.h"

namespace pdu {

enum class V3Setup {
  kReady,     // requests may go
  kTimeout,   // the discovery had no answer within the time-out and retries
  kStopped,   // `wake` signalled a stop
  kNoEngine,  // the discovery's answer brought no engine ID
};

// `session` was opened (session_open.h), after PrepareUsm (usm_state.h),
// from a template `security` was applied to. `discovered` tells whether the
// engine was discovered now rather than known.
V3Setup ReadyV3Session(void* session, const SessionSecurity& security, WakeWatch& wake,
                       RequestState& state, bool* discovered = nullptr);

// A session opened from a template that SessionSecurity applied never
// probes for the engine; net-snmp clears that mark as the session is added,
// and this sets it again, so that no request probes on its own.
void KeepFromProbing(void* session);

// The discovery request: a GET without bindings from the empty user, at
// noAuthNoPriv, to no engine yet; the caller's to send, on a session whose
// library calls go through OnSession (usm_state.h). Its report brings the
// engine ID, which net-snmp copies into the session, and the engine's boots
// and time. Null when net-snmp cannot create it.
netsnmp_pdu* EngineDiscoveryRequest();

// Readies `session` for requests to the engine `engine_id`: kReady, or
// kNoEngine for an empty engine ID (or no memory). Takes NetSnmpMutex().
V3Setup UseEngine(void* session, const std::string& engine_id);

// What a PDU whose answer to engine discovery named no engine is told.
inline constexpr char kNoEngineReason[] = "its answer to SNMP v3 engine discovery named no engine";

// Forgets the engine of the session's PDU (usm_state.h). Takes NetSnmpMutex().
void ForgetEngine(void* session);

}  // namespace pdu
