#include "record_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "driver/pdu_alarms.h"
#include "driver/pdu_record.h"

namespace pdu_host {
namespace {

constexpr unsigned kMeasurementColumns[] = {2,  3,  4,  5,  6,  7,  8,  9,  10,
                                            21, 22, 23, 24, 25, 26, 27, 342};
constexpr std::size_t kNameWidth = 7;
constexpr std::size_t kValueWidth = 10;

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
         (c >= 0x20000 && c <= 0x3FFFD);
}

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

}  // namespace

std::string FormatTimeStamp(const unsigned char* ttime) {
  bool zero = true;
  for (int i = 0; i < 7; ++i) zero = zero && ttime[i] == 0;
  if (zero) return "no time stamp";
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u",
                static_cast<unsigned>(ttime[0] | (ttime[1] << 8)), ttime[2], ttime[3], ttime[4],
                ttime[5], ttime[6]);
  return text;
}

std::string FormatValue(float value) {
  // Not std::to_chars: the C++ runtime of the armhf build predates its float
  // overloads. The text must also survive a reader that parses it as a
  // double and rounds that to float (the simulator does): seventeen
  // significant digits always read back exact both ways.
  char text[48];
  if (!std::isfinite(value)) {
    std::snprintf(text, sizeof text, "%g", value);
    return text;
  }
  // Whole numbers below 1e15 are written out: "500", not "5e+02".
  const double magnitude = std::fabs(value);
  const int whole_digits =
      magnitude >= 1 && magnitude < 1e15 ? static_cast<int>(std::log10(magnitude)) + 1 : 1;
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", std::max(digits, whole_digits), value);
    if (std::strtof(text, nullptr) == value &&
        static_cast<float>(std::strtod(text, nullptr)) == value) {
      break;
    }
  }
  return text;
}

std::string PadRight(const std::string& text, std::size_t width) {
  const std::size_t used = DisplayWidth(text);
  return used >= width ? text : text + std::string(width - used, ' ');
}

std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 1;
    if (i + length > utf8.size()) length = 1;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    width += IsWide(c) ? 2 : 1;
    i += length;
  }
  return width;
}

namespace {

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
