#include "run_as_host/run_summary.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/text_columns.h"
#include "configuration/shown_address.h"
#include "console/line_attribution.h"
#include "console/plugin_line.h"
#include "driver/record/pdu_alarms.h"
#include "driver/record/pdu_record.h"
#include "driver/walk/bulk_walk_step.h"
#include "verdict/field_coverage.h"
#include "walk/table_walk.h"
#include "walk/walk_session.h"

namespace pdu_host {
namespace {

constexpr std::size_t kNotesKept = 5;
constexpr std::size_t kUntiedListed = 5;
constexpr std::size_t kZeroFieldsNamed = 4;

bool FeedsSignal(std::uint32_t column) {
  for (const pdu::AlarmSignal& signal : pdu::kAlarmSignals) {
    if (signal.column == column) return true;
  }
  return false;
}

// Adds the measurement columns that are not 0 in `bytes` to `measured`.
void NoteMeasured(const std::vector<unsigned char>& bytes, std::set<std::uint32_t>& measured) {
  if (bytes.size() != sizeof(SNMP_VARNO_PDU_Data_t)) return;
  SNMP_VARNO_PDU_Data_t record;
  std::memcpy(&record, bytes.data(), sizeof record);
  for (const std::uint32_t column : kFieldColumns) {
    if (!FeedsSignal(column) && pdu::ReadColumn(record, pdu::ColumnOffset(column)) != 0) {
      measured.insert(column);
    }
  }
}

// "col3, col4 were 0 in every record: ..."; empty when every measurement
// field was non-zero in some record.
std::string NeverMeasured(const std::set<std::uint32_t>& measured) {
  std::vector<std::string> zero;
  for (const std::uint32_t column : kFieldColumns) {
    if (!FeedsSignal(column) && measured.count(column) == 0) {
      zero.push_back("col" + std::to_string(column));
    }
  }
  if (zero.empty()) return "";
  std::string names;
  for (std::size_t i = 0; i < zero.size() && i < kZeroFieldsNamed; ++i) {
    names += (i == 0 ? "" : ", ") + zero[i];
  }
  if (zero.size() > kZeroFieldsNamed) {
    names += " and " + std::to_string(zero.size() - kZeroFieldsNamed) + " more";
  }
  return names + (zero.size() == 1 ? " was" : " were") +
         " 0 in every record: a field the PDU does not serve, or serves with a type the plug-in "
         "ignores, stays so (pdu-host --explain tells)";
}

bool AllFieldsZero(const std::vector<unsigned char>& bytes) {
  if (bytes.size() != sizeof(SNMP_VARNO_PDU_Data_t)) return false;
  SNMP_VARNO_PDU_Data_t record;
  std::memcpy(&record, bytes.data(), sizeof record);
  for (const std::uint32_t column : kFieldColumns) {
    if (pdu::ReadColumn(record, pdu::ColumnOffset(column)) != 0) return false;
  }
  return true;
}

// A problem line with what it means and what to try; `no_answer` says what
// no answer means.
std::string Explained(const std::string& line, const std::string& no_answer) {
  switch (ClassifyLine(line)) {
    case LineKind::kNoAnswer:
      return line + ": " + no_answer;
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
    device.no_answer = NoAnswerAdvice(*WalkSecurity(entry));
  }
}

void RunLedger::OnLine(const std::vector<unsigned int>& candidates, const std::string& line) {
  const LineKind kind = ClassifyLine(line);
  if (kind == LineKind::kTrace) return;
  const pdu::MutexLock lock(mutex_);
  if (candidates.size() != 1) {
    if (!IsProblem(kind)) return;
    const std::string from =
        candidates.empty() ? "no device" : "device " + Alternatives(candidates);
    if (untied_++ < kUntiedListed) {
      untied_kept_.push_back(from + ": " + Explained(line, CommonNoAnswer(candidates)));
    }
    for (const unsigned int id : candidates) {
      const auto found = devices_.find(id);
      if (found == devices_.end()) continue;
      Device& device = found->second;
      device.notes.push_back(line + "  (" + from + ", not told apart)");
      if (device.notes.size() > kNotesKept) device.notes.erase(device.notes.begin());
      ++device.untied;
      device.last_untied = Explained(line, device.no_answer) + " (" + from + ")";
      if (EndsWithoutAnswer(kind)) device.pass_perhaps_unanswered = true;
    }
    return;
  }
  const auto found = devices_.find(candidates.front());
  if (found == devices_.end()) return;
  Device& device = found->second;
  device.notes.push_back(line);
  if (device.notes.size() > kNotesKept) device.notes.erase(device.notes.begin());
  if (kind == LineKind::kSharedEngine) device.shared_engine = line.substr(line.find("device "));
  if (!IsProblem(kind)) return;
  ++device.problems;
  device.last_problem = line;
  if (EndsWithoutAnswer(kind)) {
    device.pass_unanswered = true;
    device.last_unanswered = true;
  }
}

std::string RunLedger::CommonNoAnswer(const std::vector<unsigned int>& candidates) const {
  std::set<std::string> advice;
  for (const unsigned int id : candidates) {
    const auto found = devices_.find(id);
    if (found != devices_.end()) advice.insert(found->second.no_answer);
  }
  if (advice.size() == 1) return *advice.begin();
  return "no answer: the PDU is off or unreachable, or does not take the credentials of the "
         "device asking (a wrong v2c community looks the same)";
}

RunLedger::PassNotes RunLedger::OnRecord(unsigned int id,
                                         const std::vector<unsigned char>& record) {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  if (found == devices_.end()) return {};
  Device& device = found->second;
  PassNotes notes{std::move(device.notes), device.pass_unanswered, device.pass_perhaps_unanswered};
  device.notes.clear();
  device.last_unanswered = device.pass_unanswered;
  device.pass_unanswered = false;
  device.pass_perhaps_unanswered = false;
  device.last_record_zero = AllFieldsZero(record);
  NoteMeasured(record, device.measured);
  ++device.records;
  return notes;
}

void RunLedger::EndPolledPass(unsigned int id) {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  if (found == devices_.end()) return;
  found->second.notes.clear();
  found->second.pass_unanswered = false;
  found->second.pass_perhaps_unanswered = false;
}

bool RunLedger::LastPassUnanswered(unsigned int id) const {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  return found != devices_.end() && found->second.last_unanswered;
}

bool RunLedger::LastPassTimedOut(unsigned int id) const {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  return found != devices_.end() && found->second.last_unanswered &&
         ClassifyLine(found->second.last_problem) == LineKind::kNoAnswer;
}

std::size_t RunLedger::Records(unsigned int id) const {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  return found == devices_.end() ? 0 : found->second.records;
}

std::string RunLedger::LastProblem(unsigned int id) const {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  return found == devices_.end() ? std::string() : found->second.last_problem;
}

bool RunLedger::LastProblemIsErrorStatus(unsigned int id) const {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  if (found == devices_.end()) return false;
  const std::string& line = found->second.last_problem;
  const std::string error_status = pdu::UnusualEndReason(pdu::WalkStep::kEndErrorStatus);
  return ClassifyLine(line) == LineKind::kWalkStopped && line.size() >= error_status.size() &&
         line.compare(line.size() - error_status.size(), error_status.size(), error_status) == 0;
}

void RunLedger::NoteWalkedAgain(unsigned int id, const std::string& words) {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(id);
  if (found != devices_.end()) found->second.walked_again = words;
}

std::size_t RunLedger::UntiedProblems() const {
  const pdu::MutexLock lock(mutex_);
  return untied_;
}

std::string RunLedger::Summary(const char* interrupted_by, std::size_t passes) const {
  const pdu::MutexLock lock(mutex_);
  std::vector<std::pair<std::size_t, std::vector<std::string>>> ordered;
  for (const auto& [id, device] : devices_) {
    std::string problems;
    if (device.problems != 0) {
      problems = std::to_string(device.problems) + (device.problems == 1 ? " pass" : " passes") +
                 " with a time-out or error";
    }
    if (device.untied != 0) {
      problems += (problems.empty() ? "" : ", ") + std::to_string(device.untied) +
                  (device.untied == 1 ? " problem line" : " problem lines") + " perhaps its own";
    }
    std::vector<std::string> row = {
        "device " + std::to_string(id), ShownAddress(device.address),
        std::to_string(device.records) + (device.records == 1 ? " record" : " records") +
            (interrupted_by != nullptr && device.records < passes
                 ? " of " + std::to_string(passes) + ", stopped by " + interrupted_by
                 : ""),
        problems.empty() ? "no time-out or error" : problems};
    if (!device.last_problem.empty()) {
      row.push_back("last problem: " + Explained(device.last_problem, device.no_answer) +
                    (device.walked_again.empty() ? "" : ": " + device.walked_again));
    } else if (device.untied != 0) {
      row.push_back("perhaps: " + device.last_untied);
    } else if (device.records != 0 && device.last_record_zero) {
      row.push_back(
          "every field of the last record is 0: an agent serving no table looks like this "
          "(pdu-host --survey tells)");
    } else if (device.records != 0) {
      if (const std::string zero = NeverMeasured(device.measured); !zero.empty()) {
        row.push_back(zero);
      }
    }
    ordered.emplace_back(device.index, row);
  }
  std::sort(ordered.begin(), ordered.end());
  std::vector<std::vector<std::string>> rows;
  for (auto& [index, row] : ordered) rows.push_back(std::move(row));
  std::string summary =
      "=== run summary: " + std::to_string(devices_.size()) +
      (devices_.size() == 1 ? " device" : " devices") +
      (interrupted_by != nullptr ? ", interrupted by " + std::string(interrupted_by) : "") +
      " ===\n" + AlignedLines(rows);
  std::map<std::size_t, std::string> shared_engines;  // by position in the file
  for (const auto& [id, device] : devices_) {
    if (!device.shared_engine.empty()) shared_engines[device.index] = device.shared_engine;
  }
  for (const auto& [index, line] : shared_engines) summary += line + "\n";
  if (untied_ != 0) {
    summary += std::to_string(untied_) + (untied_ == 1 ? " problem line" : " problem lines") +
               " could not be tied to one device: written straight to the console, not by a "
               "device's thread through its streams, naming no PDU or an address several "
               "devices share:\n";
    for (const std::string& line : untied_kept_) summary += "  " + line + "\n";
    if (untied_ > untied_kept_.size()) {
      summary += "  and " + std::to_string(untied_ - untied_kept_.size()) + " more\n";
    }
  }
  return summary;
}

}  // namespace pdu_host
