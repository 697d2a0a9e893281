// The readable report of one published record, laid out for a terminal.
//
//   === device 7 · record 1 · 2025-03-14 09:26:53 · sampled · data_id 7 ===
//     col2           2301 | col11              0  总电流预警 L1
//     ...
//     active signals (2 of 14): 回路电压告警 C2, 通讯状态; batch check: alarm (14 rules)
//     plug-in: Timeout: No Response from 127.0.0.1:9
//
// Left: the measurement columns (2-10, 21-27, 342); right: the fourteen alarm
// columns with their alarm text. Then the signals the cycle reported active
// through CheckThresholdBool (a cycle without any, in every mode but 2, says
// so), and what the plug-in reported for the device during the pass beside
// its trace lines. The header says "sampled" for a pass that got its
// answers, "sampled, no answer: values held before" for one that ended
// without ("sampled, no answer: nothing read yet, every field 0" when the
// device never had an answer or a cache record: its signals then come from
// values the PDU never sent, which the signals line says), "sampled, perhaps
// no answer" when a line saying so could not be tied to this device or
// another, and "sampled, every field 0" for a record that looks like a table
// never served.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pdu_host {

struct ReportedSignal {
  std::string id;
  std::string text;
  bool active = false;
};

// What one record cycle showed the host.
struct CycleReport {
  unsigned int device_id = 0;
  std::size_t number = 0;  // 1-based count of this device's records
  bool from_cache = false;
  int b_mode = 1;
  std::vector<unsigned char> record;  // as published with SendSP
  bool stored_differs = false;        // SaveDeviceHistory got other bytes
  std::vector<ReportedSignal> signals;
  bool batch_checked = false;
  std::size_t batch_rules = 0;
  bool batch_result = false;
  std::vector<std::string> pass_lines;   // the plug-in's lines for the device during the pass
  bool pass_unanswered = false;          // the pass ended without an answer
  bool pass_perhaps_unanswered = false;  // a line not told apart says it may have
  bool nothing_read = false;  // no answer and no cache record yet: every field the initial 0
};

// The whole report, ending in '\n'.
std::string FormatReport(const CycleReport& cycle);

}  // namespace pdu_host
