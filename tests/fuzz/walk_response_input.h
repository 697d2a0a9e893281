// One input of the walk-response fuzz target: the bytes of a datagram an
// agent sent back to the driver's GETBULK request.
//
// The bytes are parsed by net-snmp's receive-side parser for a v2c client
// session (snmp_parse, which also unwraps Opaque floats and doubles), the
// parsed PDU is cloned as the synchronous request call hands it to the
// driver, and the clone goes through pdu::ExamineResponse with the cursor at
// the table root, into a record filled with a sentinel. Whatever the bytes,
// the following must hold, or the process aborts:
// - the cursor never grows beyond MAX_OID_LEN;
// - the record's data_id and time stamp are never written;
// - a walk only goes on with the cursor moved forward, inside the table;
// - the same response examined again from the moved cursor ends the walk
//   (an agent repeating itself cannot keep a pass going).
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/walk/bulk_walk_step.h"

namespace fuzz {

struct WalkResponseOutcome {
  bool parsed = false;  // net-snmp accepted the message and the driver examined it
  pdu::WalkStep step = pdu::WalkStep::kEndNoBinding;  // set when parsed
  bool record_changed = false;                        // a column of the record was written
};

// net-snmp's one-time set-up, done by the first input otherwise. Parse error
// messages of net-snmp are discarded from then on.
void InitWalkResponseInput();

WalkResponseOutcome RunWalkResponseInput(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
