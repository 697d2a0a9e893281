// Walks the tables of many PDUs at once on the calling thread, each as the
// plug-in walks it (table_walker.h), with its credentials (walk_session.h),
// with net-snmp's single-session asynchronous API: every walk has its own
// session, sends its next request as the answer to the last one arrives, and
// all of them wait together in one poll() on their sockets and the time-outs
// net-snmp keeps. A PDU that does not answer costs its time-out once, beside
// the others. An SNMP v3 walk whose PDU's engine is not known yet starts
// with the plug-in's discovery request (driver/v3/v3_session.h), sent and
// waited for like the others; net-snmp sends a request again by itself
// after a report that its time is out of the PDU's window. Names are
// looked up beside it on a few threads (name_lookups.h); every other call
// into net-snmp is made on the calling thread, so each walk's error text is
// read from its own session right where the error happened.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "configuration/host_config.h"
#include "walk/table_walk.h"

namespace pdu_host {

struct WalkEvents {
  // As each walk ends, in the order they end: its position in the targets,
  // the walk, and the seconds from its start (a name lookup included).
  std::function<void(std::size_t index, TableWalk&& walk, double seconds)> ended;
  // About four times a second while walks run; may be empty.
  std::function<void()> tick;
};

// Walks every target's table (each with an address), at most `at_once` at
// a time (each holds a descriptor); returns when all have ended. When the
// run is interrupted (interruption.h), every walk not yet ended, started or
// not, ends at once as WalkEnd::kInterrupted. An exception from an event
// ends every walk and is passed on.
void WalkTables(const std::vector<const DeviceEntry*>& targets, std::size_t at_once,
                const WalkEvents& events);

}  // namespace pdu_host
