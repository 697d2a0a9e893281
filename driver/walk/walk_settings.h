// How a PDU's table is walked: the table root, the SNMP session every pass
// opens and the shape and bound of its requests. The driver walks with these,
// and so does pdu-host when it walks a table again to explain it.
#pragma once

#include "driver/snmp/netsnmp.h"

namespace pdu {

// The PDU table: 1.3.6.1.4.1.44782.4.14.1.1.<column>.<row>.
inline constexpr oid kTableRoot[] = {1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1};

inline constexpr long kTimeoutMicroseconds = 10'000'000;
inline constexpr int kRetries = 1;
// One binding, asked for as a non-repeater: each request brings the single
// successor of the cursor.
inline constexpr int kNonRepeaters = 1;
inline constexpr int kMaxRepetitions = 100;

// An agent inventing increasing names forever must not hold a pass forever;
// a real table needs a tiny fraction of this.
inline constexpr long kMaxRequestsPerPass = 65'536;

// Fills a session template initialised by snmp_sess_init: SNMP v2c,
// community "tundra", the time-out and retries above. The peer name is the
// caller's to set. net-snmp copies the community when it opens a session.
inline void ApplyWalkSession(netsnmp_session& settings) {
  static unsigned char community[] = "tundra";
  settings.version = SNMP_VERSION_2c;
  settings.community = community;
  settings.community_len = sizeof community - 1;
  settings.timeout = kTimeoutMicroseconds;
  settings.retries = kRetries;
}

}  // namespace pdu
