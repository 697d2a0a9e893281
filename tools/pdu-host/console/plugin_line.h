// What a console line of the plug-in says about a sampling pass. The texts
// are the plug-in's (and net-snmp's, for a session it cannot open):
//
//   SNMP_VARNO_PDU::do_sample                  a pass begins        (trace)
//   InitSetting 7 b_mode_:2, here 1, mobile:..., rvSize is 14       (trace)
//   Timeout: No Response from ADDR             no answer
//   snmp get error N                           a request failed
//   snmpbulkwalk: Unknown host (ADDR) ...      no session opened
//   SNMP_VARNO_PDU: device N (ADDR) walk ended: ...       the agent ended the walk
//   SNMP_VARNO_PDU: device N (ADDR) sampling pass failed ...   the pass threw
//   SNMP_VARNO_PDU: device N (ADDR) not sampled: ...      credentials it cannot use
//   SNMP_VARNO_PDU: device N (ADDR) refused by the PDU: ...   a v3 refusal
//   SNMP_VARNO_PDU: device N (ADDR) answers with SNMP v3 engine ID ...
//                                              another PDU answers with it too
#pragma once

#include <optional>
#include <string>

namespace pdu_host {

enum class LineKind {
  kTrace,          // says nothing about how the pass went
  kNoAnswer,       // time-out and retry: the pass ended without an answer
  kRequestFailed,  // a request could not be sent or read: no answer either
  kNoSession,      // net-snmp opened nothing, or the credentials are unusable: no record
  kWalkStopped,    // an answer the walk stops at: the record holds what came before
  kPassFailed,     // the pass ended with an error
  kRefused,        // the PDU refused the request (SNMP v3): no answer with values
  kSharedEngine,   // the PDU shares its engine ID with another: read correctly all the same
  kOther,          // a line pdu-host does not know, passed on as it is
};

LineKind ClassifyLine(const std::string& line);

// The device a line of the plug-in names by its data identifier: a
// configuration trace ("InitSetting 7 b_mode_:2", "7 ID is missing") or a
// report of its own ("SNMP_VARNO_PDU: device 7 (ADDR) ..."); none for other
// lines.
std::optional<unsigned int> NamedDevice(const std::string& line);

// The pass that wrote such a line ended without any answer from the PDU.
bool EndsWithoutAnswer(LineKind kind);

// The line tells of a time-out or an error (every kind but kTrace,
// kSharedEngine and kOther).
bool IsProblem(LineKind kind);

}  // namespace pdu_host
