#include "run_as_host/record_report.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/record_text.h"
#include "common/text_columns.h"
#include "driver/record/pdu_alarms.h"
#include "driver/record/pdu_record.h"

namespace pdu_host {
namespace {

constexpr unsigned kMeasurementColumns[] = {2,  3,  4,  5,  6,  7,  8,  9,  10,
                                            21, 22, 23, 24, 25, 26, 27, 342};
constexpr std::size_t kNameWidth = 7;
constexpr std::size_t kValueWidth = 10;

std::string PadLeft(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string ColumnName(unsigned column) { return "col" + std::to_string(column); }

std::string Cell(const SNMP_VARNO_PDU_Data_t& record, unsigned column) {
  const float value = pdu::ReadColumn(record, pdu::ColumnOffset(column));
  return PadRight(ColumnName(column), kNameWidth) + PadLeft(FormatValue(value), kValueWidth);
}

std::string SignalsLine(const CycleReport& cycle) {
  std::string line;
  if (cycle.signals.empty()) {
    line = "alarm signals: none reported";
    if (cycle.b_mode != 2) {
      line += " (b_mode " + std::to_string(cycle.b_mode) +
              "; the plug-in reports alarm signals in mode 2 only)";
    }
  } else {
    std::string active;
    std::size_t count = 0;
    for (const ReportedSignal& signal : cycle.signals) {
      if (!signal.active) continue;
      active += (count++ == 0 ? "" : ", ") + signal.text + " [" + signal.id + "]";
    }
    line = "active signals (" + std::to_string(count) + " of " +
           std::to_string(cycle.signals.size()) + "): " + (count == 0 ? "none" : active);
  }
  if (cycle.batch_checked) {
    line += "; batch check: " + std::string(cycle.batch_result ? "alarm" : "clear") + " (" +
            std::to_string(cycle.batch_rules) + " rules)";
  }
  if (cycle.nothing_read) {
    line += "; from values the PDU never sent: every field is 0 until it first answers";
  }
  return line;
}

// Where the record's values come from.
std::string Origin(const CycleReport& cycle, const SNMP_VARNO_PDU_Data_t& record) {
  if (cycle.from_cache) return "restored from cache";
  if (cycle.pass_unanswered && cycle.nothing_read) {
    return "sampled, no answer: nothing read yet, every field 0";
  }
  if (cycle.pass_unanswered) return "sampled, no answer: values held before";
  if (cycle.pass_perhaps_unanswered) return "sampled, perhaps no answer: see below";
  for (const unsigned column : kMeasurementColumns) {
    if (pdu::ReadColumn(record, pdu::ColumnOffset(column)) != 0) return "sampled";
  }
  for (const pdu::AlarmSignal& signal : pdu::kAlarmSignals) {
    if (pdu::ReadColumn(record, pdu::ColumnOffset(signal.column)) != 0) return "sampled";
  }
  return "sampled, every field 0";
}

}  // namespace

std::string FormatReport(const CycleReport& cycle) {
  std::string header = "=== device " + std::to_string(cycle.device_id) + " · record " +
                       std::to_string(cycle.number) + " · ";
  if (cycle.record.size() != sizeof(SNMP_VARNO_PDU_Data_t)) {
    return header + "record of " + std::to_string(cycle.record.size()) + " bytes, expected " +
           std::to_string(sizeof(SNMP_VARNO_PDU_Data_t)) + ": not decoded ===\n";
  }
  SNMP_VARNO_PDU_Data_t record;
  std::memcpy(&record, cycle.record.data(), sizeof record);
  const std::uint32_t data_id = record.data_id;
  header += FormatTimeStamp(cycle.record.data() + offsetof(SNMP_VARNO_PDU_Data_t, ttime)) + " · " +
            Origin(cycle, record) + " · data_id " + std::to_string(data_id) + " ===\n";

  std::string report = header;
  const std::size_t left_width = kNameWidth + kValueWidth;
  const std::size_t rows = std::max(std::size(kMeasurementColumns), pdu::kAlarmSignalCount);
  for (std::size_t row = 0; row < rows; ++row) {
    std::string line = "  ";
    line += row < std::size(kMeasurementColumns) ? Cell(record, kMeasurementColumns[row])
                                                 : std::string(left_width, ' ');
    line += " |";
    if (row < pdu::kAlarmSignalCount) {
      const pdu::AlarmSignal& signal = pdu::kAlarmSignals[row];
      line += " " + Cell(record, signal.column) + "  " + signal.text;
    }
    report += line + "\n";
  }
  report += "  " + SignalsLine(cycle) + "\n";
  if (cycle.stored_differs) {
    report += "  note: the record stored with SaveDeviceHistory differs from the published one\n";
  }
  for (const std::string& line : cycle.pass_lines) report += "  plug-in: " + line + "\n";
  return report;
}

}  // namespace pdu_host
