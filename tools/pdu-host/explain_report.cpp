#include "explain_report.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "driver/pdu_record.h"
#include "record_report.h"

namespace pdu_host {
namespace {

constexpr std::uint32_t kFieldColumns[] = {2,  3,  4,  5,  6,  7,  8,  9,   10, 11, 12,
                                           13, 14, 15, 16, 17, 18, 19, 20,  21, 22, 23,
                                           24, 25, 26, 27, 28, 29, 30, 341, 342};
// A value longer than this is cut: the table stays one line a field.
constexpr std::size_t kMaxCellWidth = 40;
// Rows listed in one cell before the list is shortened.
constexpr std::size_t kMaxListed = 3;

using Row = std::vector<std::string>;

std::string Clip(const std::string& text) {
  if (text.size() <= kMaxCellWidth) return text;
  return text.substr(0, kMaxCellWidth - 3) + "...";
}

// "a, b, c"; past kMaxListed items "a, b, ..., z (N)".
std::string ListCell(const std::vector<std::string>& items) {
  if (items.empty()) return "-";
  std::string cell;
  const bool shorten = items.size() > kMaxListed;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (shorten && i >= kMaxListed - 1 && i + 1 < items.size()) {
      if (i == kMaxListed - 1) cell += ", ...";
      continue;
    }
    cell += (cell.empty() ? "" : ", ") + Clip(items[i]);
  }
  if (shorten) cell += " (" + std::to_string(items.size()) + ")";
  return cell;
}

std::vector<std::string> Distinct(const std::vector<std::string>& items) {
  std::vector<std::string> distinct;
  for (const std::string& item : items) {
    if (std::find(distinct.begin(), distinct.end(), item) == distinct.end()) {
      distinct.push_back(item);
    }
  }
  return distinct;
}

// Each cell padded to its column's widest; the last cell of a row unpadded.
std::string AlignedLines(const std::vector<Row>& rows) {
  std::vector<std::size_t> widths;
  for (const Row& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
  }
  std::string lines;
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      lines += i + 1 < row.size() ? PadRight(row[i], widths[i] + 2) : row[i];
    }
    lines += "\n";
  }
  return lines;
}

std::string Verdict(const std::vector<const ServedObject*>& served) {
  if (served.empty()) return "not served";
  const ServedObject* holds = nullptr;
  std::vector<std::string> types;
  for (const ServedObject* object : served) {
    types.push_back(object->type_name);
    if (object->stored) holds = object;
  }
  if (holds == nullptr) return "ignored (" + ListCell(Distinct(types)) + ")";
  if (served.size() == 1) return "stored";
  return "stored, the record holds " + SuffixText(holds->suffix);
}

Row FieldRow(std::uint32_t column, const std::vector<const ServedObject*>& served,
             const std::optional<SNMP_VARNO_PDU_Data_t>& record) {
  std::vector<std::string> names;
  std::vector<std::string> types;
  std::vector<std::string> values;
  for (const ServedObject* object : served) {
    names.push_back(SuffixText(object->suffix));
    types.push_back(object->type_name);
    values.push_back(object->value_text);
  }
  const std::string in_record =
      record ? FormatValue(pdu::ReadColumn(*record, pdu::ColumnOffset(column))) : "-";
  return {"col" + std::to_string(column),
          ListCell(names),
          ListCell(Distinct(types)),
          ListCell(values),
          in_record,
          Verdict(served)};
}

bool HasField(const ServedObject& object) {
  return !object.suffix.empty() && std::find(std::begin(kFieldColumns), std::end(kFieldColumns),
                                             object.suffix[0]) != std::end(kFieldColumns);
}

}  // namespace

std::string FormatExplanation(const ExplainedDevice& device, const TableWalk& walk) {
  std::optional<SNMP_VARNO_PDU_Data_t> record;
  std::string header =
      "=== explain device " + std::to_string(device.id) + " · " + device.address + " · ";
  if (device.last_record && device.last_record->size() == sizeof(SNMP_VARNO_PDU_Data_t)) {
    record.emplace();
    std::memcpy(&*record, device.last_record->data(), sizeof *record);
    header += "last record " + FormatTimeStamp(record->ttime) + " ===\n";
  } else {
    header += "no record published ===\n";
  }

  std::vector<Row> fields = {{"field", "object", "type", "value", "record", "verdict"}};
  for (const std::uint32_t column : kFieldColumns) {
    std::vector<const ServedObject*> served;
    for (const ServedObject& object : walk.objects) {
      if (!object.suffix.empty() && object.suffix[0] == column) served.push_back(&object);
    }
    fields.push_back(FieldRow(column, served, record));
  }
  std::vector<Row> without_field;
  for (const ServedObject& object : walk.objects) {
    if (HasField(object)) continue;
    without_field.push_back(
        {SuffixText(object.suffix), object.type_name, Clip(object.value_text), "no field"});
  }
  return header + AlignedLines(fields) + AlignedLines(without_field) +
         "walk: " + WalkSummary(walk) + "\n";
}

}  // namespace pdu_host
