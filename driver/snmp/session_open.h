// Opening a pass's single session without holding up other devices.
//
// OpenSession opens what snmp_sess_open(settings) would, with the same
// transport, session and error report, but looks the peer's name up without
// NetSnmpMutex() (peer_transport.h), so a name that takes long to resolve
// holds up only its own device. A name is looked up on a helper thread when
// `wake` watches a descriptor: when it signals a stop during the lookup, the
// caller goes on at once and the lookup is left to finish on its own
// (abandonable_call.h); its transport is then discarded. A numeric address
// needs no lookup and no thread.
#pragma once

#include "driver/snmp/netsnmp.h"
#include "driver/waiting/wake_event.h"

namespace pdu {

struct OpenedSession {
  SessionHandle session;  // null when not opened
  bool stopped = false;   // `wake` signalled a stop first
};

// Opens a session from `settings` (peer name set). A session that cannot be
// opened is reported as net-snmp's tools report it: snmp_sess_perror with
// `label` and the library's own text for the failure.
OpenedSession OpenSession(netsnmp_session& settings, WakeWatch& wake, const char* label);

}  // namespace pdu
