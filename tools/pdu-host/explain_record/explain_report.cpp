#include "explain_record/explain_report.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/record_text.h"
#include "common/text_columns.h"
#include "configuration/shown_address.h"
#include "driver/record/pdu_record.h"
#include "verdict/field_coverage.h"
#include "verdict/walk_verdict.h"

namespace pdu_host {
namespace {

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

std::string Verdict(const FieldCoverage& field) {
  if (field.served.empty()) return "not served";
  std::vector<std::string> types;
  for (const ServedObject* object : field.served) types.push_back(object->type_name);
  if (field.holds == nullptr) return "ignored (" + ListCell(Distinct(types)) + ")";
  if (field.served.size() == 1) return "stored";
  return "stored, the record holds " + SuffixText(field.holds->suffix);
}

Row FieldRow(const FieldCoverage& field, const std::optional<SNMP_VARNO_PDU_Data_t>& record) {
  std::vector<std::string> names;
  std::vector<std::string> types;
  std::vector<std::string> values;
  for (const ServedObject* object : field.served) {
    names.push_back(SuffixText(object->suffix));
    types.push_back(object->type_name);
    values.push_back(object->value_text);
  }
  const std::string in_record =
      record ? FormatValue(pdu::ReadColumn(*record, pdu::ColumnOffset(field.column))) : "-";
  return {"col" + std::to_string(field.column),
          ListCell(names),
          ListCell(Distinct(types)),
          ListCell(values),
          in_record,
          Verdict(field)};
}

}  // namespace

std::string FormatExplanation(const ExplainedDevice& device, const TableWalk& walk) {
  std::optional<SNMP_VARNO_PDU_Data_t> record;
  std::string header = "=== explain device " + std::to_string(device.id) + " · " +
                       ShownAddress(device.address) + " · ";
  if (device.last_record && device.last_record->size() == sizeof(SNMP_VARNO_PDU_Data_t)) {
    record.emplace();
    std::memcpy(&*record, device.last_record->data(), sizeof *record);
    header += "last record " + FormatTimeStamp(record->ttime) + " ===\n";
  } else {
    header += "no record published ===\n";
  }

  // Without a single answer there is nothing to explain field by field.
  if (walk.answers == 0 && !walk.complete) {
    const WalkVerdict verdict = JudgeWalk(walk);
    return header + StateWords(verdict.state) + ": " + verdict.problem + "\n" +
           "walk: " + WalkSummary(walk) + "\nwalked with " + AskedWith(walk) + "\n";
  }

  std::vector<Row> rows = {{"field", "object", "type", "value", "record", "verdict"}};
  for (const FieldCoverage& field : CoverFields(walk)) rows.push_back(FieldRow(field, record));
  // Served objects of columns the record has no field for, under the same heading.
  for (const ServedObject* object : ObjectsWithoutField(walk)) {
    rows.push_back({"-", SuffixText(object->suffix), object->type_name, Clip(object->value_text),
                    "-", "no field"});
  }
  return header + AlignedLines(rows) + "walk: " + WalkSummary(walk) + "\nwalked with " +
         AskedWith(walk) + "\n";
}

}  // namespace pdu_host
