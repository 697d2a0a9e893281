// One walk of a PDU's table as a state machine, without any I/O: it makes
// each GETBULK request for its cursor (one binding from the table root, as
// driver/walk/walk_settings.h says), takes each answer with the plug-in's own
// rules (pdu::ExamineResponse), and records how the walk ended in the words
// of a TableWalk (table_walk.h). Whoever sends the requests and waits for the
// answers (walk_engine.h) tells it what became of each one.
#pragma once

#include <cstddef>
#include <string>

#include "driver/snmp/netsnmp.h"
#include "walk/table_walk.h"

namespace pdu_host {

class TableWalker {
 public:
  explicit TableWalker(std::string address);

  // The next request, the caller's to send or free; null once the walk has
  // ended (then also when this call reached the bound on requests).
  netsnmp_pdu* NextRequest();

  // An answer to the last request that is a RESPONSE: its objects are kept
  // and the plug-in's rules say whether the walk goes on.
  void TakeResponse(const netsnmp_pdu& response);
  // The last request had no answer within the time-out and its retry.
  void EndNoResponse();
  // The last request could not be sent, or its answer could not be read;
  // `failure` is net-snmp's words for it.
  void EndRequestFailed(const std::string& failure);
  // The answer to the last request was an SNMP v3 report: the PDU refuses
  // the credentials, for `reason` (driver/v3/v3_refusal.h).
  void EndRefused(const std::string& reason);
  // The answer to the last request was a PDU of another kind, named as
  // net-snmp names it ("REPORT", "GET", ...).
  void EndOtherAnswer(const std::string& kind);
  // Nothing is sent: the device's credentials cannot be used, for `reason`.
  void EndNotWalked(const std::string& reason);
  // No session could be opened to the address; `failure` as above.
  void EndNoSession(const std::string& failure);
  // The run was interrupted (Ctrl-C) before the walk ended.
  void EndInterrupted();

  bool ended() const { return ended_; }
  const TableWalk& walk() const { return walk_; }
  TableWalk& walk() { return walk_; }

 private:
  void End(WalkEnd how, std::string words);

  std::string address_;  // as shown in the walk's end (shown_address.h)
  TableWalk walk_;
  oid cursor_[MAX_OID_LEN];
  std::size_t cursor_length_ = 0;
  bool ended_ = false;
};

}  // namespace pdu_host
