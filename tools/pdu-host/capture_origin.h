// Where and when a capture was taken, for the comment lines that head it:
// the PDU's address, the local time its walk started and, when the agent
// serves them, its sysName and sysDescr. Asking for those is one GET of
// pdu-host's own after the walk; the plug-in never sends it.
#pragma once

#include <optional>
#include <string>

#include "table_walk.h"

namespace pdu_host {

struct CaptureOrigin {
  std::string address;
  std::string taken_at;  // "2026-12-09 16:52:59 +0100"
  std::optional<std::string> sys_name;
  std::optional<std::string> sys_descr;
};

// The local time now, as CaptureOrigin::taken_at holds it.
std::string LocalTimeNow();

// Asks the agent at `origin.address` for sysName.0 and sysDescr.0 in one GET
// (SNMP v2c, community tundra, a short time-out: the walk has just shown that
// the agent answers) and keeps those it serves as text, control characters
// escaped. An agent that serves neither leaves both empty.
void AskAgentNames(CaptureOrigin& origin);

// The "# ..." lines that head a capture in either format: the origin and how
// the walk went.
std::string CaptureHeader(const CaptureOrigin& origin, const TableWalk& walk);

}  // namespace pdu_host
