#include "run_summary.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "driver/pdu_record.h"
#include "field_coverage.h"
#include "plugin_line.h"
#include "table_walk.h"
#include "text_columns.h"

namespace pdu_host {
namespace {

constexpr std::size_t kNotesKept = 5;

bool AllFieldsZero(const std::vector<unsigned char>& bytes) {
  if (bytes.size() != sizeof(SNMP_VARNO_PDU_Data_t)) return false;
  SNMP_VARNO_PDU_Data_t record;
  std::memcpy(&record, bytes.data(), sizeof record);
  for (const std::uint32_t column : kFieldColumns) {
    if (pdu::ReadColumn(record, pdu::ColumnOffset(column)) != 0) return false;
  }
  return true;
}

// A problem line with what it means and what to try.
std::string Explained(const std::string& line) {
  switch (ClassifyLine(line)) {
    case LineKind::kNoAnswer:
      return line + ": " + NoAnswerAdvice();
    case LineKind::kRequestFailed:
      return line + ": a request could not be sent or its answer not read";
    case LineKind::kNoSession:
      return line.find(") not sampled: ") != std::string::npos
                 ? line
                 : line + ": net-snmp could not open the address (pdu-host --check says why)";
    default:
      return line;
  }
}

}  // namespace

RunLedger::RunLedger(const std::vector<DeviceEntry>& entries) {
  for (const DeviceEntry& entry : entries) {
    Device& device = devices_[entry.id];
    device.index = entry.index;
    device.address = entry.address;
  }
}

void RunLedger::OnLine(unsigned int id, const std::string& line) {
  const LineKind kind = ClassifyLine(line);
  if (kind == LineKind::kTrace) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = devices_.find(id);
  if (found == devices_.end()) return;
  Device& device = found->second;
  device.notes.push_back(line);
  if (device.notes.size() > kNotesKept) device.notes.erase(device.notes.begin());
  if (!IsProblem(kind)) return;
  ++device.problems;
  device.last_problem = line;
  if (EndsWithoutAnswer(kind)) {
    device.pass_unanswered = true;
    device.last_unanswered = true;
  }
}

RunLedger::PassNotes RunLedger::OnRecord(unsigned int id,
                                         const std::vector<unsigned char>& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = devices_.find(id);
  if (found == devices_.end()) return {};
  Device& device = found->second;
  PassNotes notes{std::move(device.notes), device.pass_unanswered};
  device.notes.clear();
  device.last_unanswered = device.pass_unanswered;
  device.pass_unanswered = false;
  device.last_record_zero = AllFieldsZero(record);
  ++device.records;
  return notes;
}

void RunLedger::EndPolledPass(unsigned int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = devices_.find(id);
  if (found == devices_.end()) return;
  found->second.notes.clear();
  found->second.pass_unanswered = false;
}

bool RunLedger::LastPassUnanswered(unsigned int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = devices_.find(id);
  return found != devices_.end() && found->second.last_unanswered;
}

bool RunLedger::LastPassTimedOut(unsigned int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = devices_.find(id);
  return found != devices_.end() && found->second.last_unanswered &&
         ClassifyLine(found->second.last_problem) == LineKind::kNoAnswer;
}

std::size_t RunLedger::Records(unsigned int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = devices_.find(id);
  return found == devices_.end() ? 0 : found->second.records;
}

std::string RunLedger::LastProblem(unsigned int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = devices_.find(id);
  return found == devices_.end() ? std::string() : found->second.last_problem;
}

std::string RunLedger::Summary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<std::size_t, std::vector<std::string>>> ordered;
  for (const auto& [id, device] : devices_) {
    std::vector<std::string> row = {
        "device " + std::to_string(id), device.address.empty() ? "\"\"" : device.address,
        std::to_string(device.records) + (device.records == 1 ? " record" : " records"),
        device.problems == 0
            ? "no time-out or error"
            : std::to_string(device.problems) + (device.problems == 1 ? " pass" : " passes") +
                  " with a time-out or error"};
    if (!device.last_problem.empty()) {
      row.push_back("last problem: " + Explained(device.last_problem));
    } else if (device.records != 0 && device.last_record_zero) {
      row.push_back(
          "every field of the last record is 0: an agent serving no table looks like this "
          "(pdu-host --survey tells)");
    }
    ordered.emplace_back(device.index, row);
  }
  std::sort(ordered.begin(), ordered.end());
  std::vector<std::vector<std::string>> rows;
  for (auto& [index, row] : ordered) rows.push_back(std::move(row));
  return "=== run summary: " + std::to_string(devices_.size()) +
         (devices_.size() == 1 ? " device" : " devices") + " ===\n" + AlignedLines(rows);
}

}  // namespace pdu_host
