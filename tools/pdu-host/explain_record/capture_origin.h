// Where and when a capture was taken, for the comment lines that head it:
// the PDU's address, the local time its walk started, the SNMP version and
// user it was walked with (never a community other than "tundra", nor a
// passphrase) and, when the agent serves them, its sysName and sysDescr.
// Asking for those is one GET of pdu-host's own after the walk; the plug-in
// never sends it.
#pragma once

#include <optional>
#include <string>

#include "configuration/host_config.h"
#include "driver/v3/session_security.h"
#include "walk/table_walk.h"

namespace pdu_host {

struct CaptureOrigin {
  std::string address;
  std::string taken_at;  // "2026-12-09 16:52:59 +0100"
  std::string asked_as;  // pdu::SessionSecurity::Description()
  std::optional<std::string> sys_name;
  std::optional<std::string> sys_descr;
};

// The local time now, as CaptureOrigin::taken_at holds it.
std::string LocalTimeNow();

// Asks `entry`'s agent for sysName.0 and sysDescr.0 in one GET, with the
// walk's session and `security` but a short time-out (the walk has just shown
// that the agent answers, and for SNMP v3 taught pdu-host its engine, which
// is used again: no engine known, no names), and
// keeps those it serves as text, control characters escaped. An agent that
// serves neither leaves both empty.
void AskAgentNames(CaptureOrigin& origin, const DeviceEntry& entry,
                   const pdu::SessionSecurity& security);

// The "# ..." lines that head a capture in either format: the origin and how
// the walk went.
std::string CaptureHeader(const CaptureOrigin& origin, const TableWalk& walk);

}  // namespace pdu_host
