// --record FILE.snmprec: a walk of a PDU's table in the .snmprec format that
// snmpsim serves (snmprec_entry.h), one "OID|TAG|VALUE" line per object,
// sorted by OID as snmpsim requires, under the capture's "#" header:
//
//   # PDU table of 192.0.2.10:161 as pdu-host walked it on 2026-12-09 16:52:59 +0100: 33 objects
//   # ended by endOfMibView for 1.3.6.1.4.1.44782.4.14.1.1.342.1; 34 requests
//   # sysName: pdu-a12
//   # Serve it with sim/pdu_agent.py --snmpsim --data FILE, or with snmpsimd as ...
//   1.3.6.1.4.1.44782.4.14.1.1.2.1|2|2301
//   1.3.6.1.4.1.44782.4.14.1.1.21.1|68x|9f78044247eb85
//
// An object of a type snmpsim cannot serve becomes a "#" line naming it.
#pragma once

#include <string>

#include "explain_record/capture_origin.h"
#include "walk/table_walk.h"

namespace pdu_host {

// True for a path that names a .snmprec file.
bool IsSnmprecPath(const std::string& path);

// The file's whole text. Only a complete walk makes a faithful capture; the
// caller checks.
std::string SnmprecFile(const TableWalk& walk, const CaptureOrigin& origin);

}  // namespace pdu_host
