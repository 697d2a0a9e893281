// pdu-host's own walk of a PDU's table, made the way the plug-in walks it:
// the same session settings and credentials (walk_session.h), for SNMP v3
// the same engine discovery first, one binding per GETBULK
// request from the table root, and the plug-in's rules for every response
// (pdu::ExamineResponse), so that it ends where a pass of the plug-in ends,
// after as many requests (table_walker.h; walk_engine.h walks many at once).
// It keeps every object served inside the table; an exception value
// (endOfMibView, ...) or an object after the table is how a walk ends, not
// an object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "capture/served_object.h"
#include "configuration/address_check.h"
#include "configuration/host_config.h"
#include "driver/v3/session_security.h"

namespace pdu_host {

// How a walk ended.
enum class WalkEnd {
  kTableEnd,       // as a pass normally ends: past the last object of the table
  kNoSession,      // net-snmp could not open a session to the address
  kNoResponse,     // a request had no answer within the time-out and its retry
  kRequestFailed,  // a request could not be sent or its answer not read
  kAgentStopped,   // an answer the plug-in's walk stops at (error status, ...)
  kRequestLimit,   // the bound on requests of one pass
  kRefused,        // an SNMP v3 PDU answered with a report: it refuses the credentials
  kNotWalked,      // the device's credentials cannot be used: nothing was sent
  kInterrupted,    // the run was interrupted (interruption.h) first
};

struct TableWalk {
  std::vector<ServedObject> objects;  // in the order served
  long requests = 0;  // GETBULK requests, as the plug-in's bound on a pass counts them
  // Before them, for SNMP v3: the engine discovery request (0 or 1).
  long discovery_requests = 0;
  long answers = 0;       // responses received
  long error_status = 0;  // of the response the walk stopped at (kAgentStopped)
  WalkEnd how = WalkEnd::kNoSession;
  bool complete = false;  // how == kTableEnd
  std::string end;        // how it ended, one line
  // net-snmp's words for kNoSession and kRequestFailed; why, for kRefused
  // and kNotWalked.
  std::string failure;
  // When nothing reached the PDU (no session, or the first request could not
  // be sent): what is wrong with the address itself, if anything.
  std::vector<AddressFinding> address_findings;
  // How the PDU was asked: SNMP version and credentials. Null: as the
  // plug-in asks without credentials (v2c, community "tundra").
  std::shared_ptr<const pdu::SessionSecurity> security;
  // SNMP v3: the engine ID (bytes) the PDU answered with; empty before.
  std::string engine_id;
};

// Walks the table of `entry`, which has an address.
TableWalk WalkTable(const DeviceEntry& entry);

// Requests sent, the engine discovery included (retries are not).
long RequestsSent(const TableWalk& walk);

// "<how it ended>; N requests".
std::string WalkSummary(const TableWalk& walk);

// How the walk asked: "SNMP v3, user pdu-ops, authPriv",
// "SNMP v2c, community \"tundra\"" (pdu::SessionSecurity::Description).
std::string AskedWith(const TableWalk& walk);

// What a walk that got no answer means, with how the PDU was asked (the SNMP
// version, "tundra" or "the configured community" or the v3 user, the
// time-out and retry), for a person who must find out why.
std::string NoAnswerAdvice(const pdu::SessionSecurity& security);
// The same for `walk`.
std::string NoAnswerAdvice(const TableWalk& walk);

}  // namespace pdu_host
