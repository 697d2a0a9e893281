// --explain: what a PDU serves against what the plug-in keeps of it, laid out
// for a terminal.
//
//   === explain device 1 · 127.0.0.1:16161 · last record 2025-03-14 09:26:53 ===
//   field  object    type           value      record  verdict
//   col2   2.1       INTEGER        2301       2301    stored
//   col3   3.1       Gauge32        2298       0       ignored (Gauge32)
//   col5   -         -              -          0       not served
//   col6   6.1, 6.2  INTEGER        65, 66     66      stored, the record holds 6.2
//   ...
//   -      99.1      INTEGER        7          -       no field
//   walk: ended by endOfMibView for 1.3.6.1.4.1.44782.4.14.1.1.342.1; 35 requests
//
// One line per record field (col2 ... col30, col341, col342) with the
// objects served for its column, their type and value as net-snmp prints
// them, the field in the device's last published record and the verdict;
// then, in the same columns, one line per served object that no field keeps;
// then the walk's end.
// A walk without a single answer gets one line instead of the fields, with
// the state and the problem as --survey words them:
//
//   no response: no answer to SNMP v2c, community "tundra", within 10 s ...
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "walk/table_walk.h"

namespace pdu_host {

struct ExplainedDevice {
  unsigned int id = 0;
  std::string address;
  std::optional<std::vector<unsigned char>> last_record;  // as published with SendSP
};

// The whole explanation, ending in '\n'.
std::string FormatExplanation(const ExplainedDevice& device, const TableWalk& walk);

}  // namespace pdu_host
