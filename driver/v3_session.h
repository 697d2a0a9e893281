// Readying an open SNMP v3 session for its requests: the PDU's engine and
// net-snmp's user entry for it.
//
// The engine ID learned for the peer earlier in the process is used again;
// otherwise it is discovered as net-snmp's tools discover it when they open
// a session (usm_discover_engineid): one GET as the empty user without
// authentication, which the PDU answers with an unknownEngineID report
// carrying its engine ID, boots and time. Unlike the library's own probe
// inside snmp_sess_open, this one waits through SendAndWait: a stop of the
// wake-up descriptor ends it at once, and NetSnmpMutex() is held only while
// the library builds or reads a message. The boots and time the report
// brings, and those of every later authenticated message, are kept by
// net-snmp for the engine: a PDU that rebooted answers the next request with
// notInTimeWindow and its new boots, and the request is sent again.
//
// Then the user entry is claimed for `owner` (usm_state.h) and made from the
// session's keys, localised to the engine.
//
// ReadyV3Session does it all, waiting on the calling thread. A caller that
// waits for many sessions at once (pdu-host) sends EngineDiscoveryRequest
// itself, without a probe of the library's, and then calls UseEngine.
#pragma once

#include <string>

#include "driver/interruptible_request.h"
#include "driver/netsnmp.h"
#include "driver/session_security.h"
#include "driver/wake_event.h"

namespace pdu {

enum class V3Setup {
  kReady,         // requests may go
  kTimeout,       // the discovery had no answer within the time-out and retries
  kStopped,       // `wake` signalled a stop
  kNoEngine,      // the discovery's answer brought no engine ID
  kUserConflict,  // another device holds the user on this engine with other keys
};

// `session` was opened (session_open.h), after PrepareUsm (usm_state.h),
// from a template `security` was applied to, for the peer name `peer`.
V3Setup ReadyV3Session(void* session, const std::string& peer, const SessionSecurity& security,
                       const void* owner, WakeWatch& wake, RequestState& state);

// A session opened from a template that SessionSecurity applied never
// probes for the engine; net-snmp clears that mark as the session is added,
// and this sets it again, so that no request probes on its own.
void KeepFromProbing(void* session);

// The discovery request: a GET without bindings from the empty user, at
// noAuthNoPriv, to no engine yet; the caller's to send. Its report brings the
// engine ID, which net-snmp copies into the session, and the engine's boots
// and time. Null when net-snmp cannot create it.
netsnmp_pdu* EngineDiscoveryRequest();

// Readies `session` for requests to the engine `engine_id` of `peer`
// (remembered for the peer): the session's engine, then `owner`'s claim of
// the user entry and the entry itself. kReady, kNoEngine for an empty
// engine ID (or no memory), or kUserConflict. Takes NetSnmpMutex().
V3Setup UseEngine(void* session, const std::string& peer, const std::string& engine_id,
                  const SessionSecurity& security, const void* owner);

// What a device is told when UseEngine gives kUserConflict: the member and
// what to do; it names the user, never a key.
std::string UserConflictReason(const std::string& user);

// What a PDU whose answer to engine discovery named no engine is told.
inline constexpr char kNoEngineReason[] = "its answer to SNMP v3 engine discovery named no engine";

// After a report of an unknown engine, or no answer: the next session
// discovers the engine anew and takes its boots and time from the PDU,
// as net-snmp's tools do when they start.
void ForgetPeerEngine(const std::string& peer);

}  // namespace pdu
