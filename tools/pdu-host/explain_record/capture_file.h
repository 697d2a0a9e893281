// --record FILE: a walk of a PDU's table as the simulated PDU's data file, so
// that `sim/pdu_agent.py --data FILE` serves the same table.
//
//   # PDU table of 127.0.0.1:16161 as pdu-host walked it on 2026-12-09 16:52:59 +0100: 33 objects
//   # ended by endOfMibView for 1.3.6.1.4.1.44782.4.14.1.1.342.1; 34 requests
//   2.1 integer 2301
//   21.1 float 49.98
//   # 40.1 NULL: the simulator cannot serve this object
#pragma once

#include <string>

#include "explain_record/capture_origin.h"
#include "walk/table_walk.h"

namespace pdu_host {

// The file's whole text, one line per object in the order served. Only a
// complete walk makes a faithful capture; the caller checks.
std::string CaptureFile(const TableWalk& walk, const CaptureOrigin& origin);

}  // namespace pdu_host
