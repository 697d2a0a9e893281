// pdu-host's own walk of a PDU's table, made the way the plug-in walks it:
// the same session settings (driver/walk_settings.h), one binding per
// GETBULK request from the table root, and the plug-in's rules for every
// response (pdu::ExamineResponse), so that it ends where a pass of the
// plug-in ends, after as many requests. It keeps every object served inside
// the table; an exception value (endOfMibView, ...) or an object after the
// table is how a walk ends, not an object.
#pragma once

#include <string>
#include <vector>

#include "served_object.h"

namespace pdu_host {

struct TableWalk {
  std::vector<ServedObject> objects;  // in the order served
  long requests = 0;
  bool complete = false;  // ended as a pass normally does, at the end of the table
  std::string end;        // how it ended, one line
};

TableWalk WalkTable(const std::string& address);

// "<how it ended>; N requests".
std::string WalkSummary(const TableWalk& walk);

}  // namespace pdu_host
