#include "survey_run.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bounded_parallel.h"
#include "complain.h"
#include "cycle_collector.h"
#include "driver/walk_settings.h"
#include "host_run.h"
#include "survey_report.h"
#include "table_walk.h"

namespace pdu_host {
namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

SurveyLine SurveyDevice(const DeviceEntry& entry) {
  SurveyLine line;
  line.id = entry.id;
  line.address = entry.address;
  if (entry.address.empty()) {
    line.verdict = JudgeNoAddress();
    return line;
  }
  const auto start = std::chrono::steady_clock::now();
  const TableWalk walk = WalkTable(entry.address);
  line.seconds = SecondsSince(start);
  line.verdict = JudgeWalk(walk, entry.address);
  CountFields(walk, line);
  return line;
}

}  // namespace

int RunSurvey(const std::vector<DeviceEntry>& entries) {
  Complain("surveying " + std::to_string(entries.size()) +
           (entries.size() == 1 ? " PDU" : " PDUs") + ", " +
           std::to_string(std::min(entries.size(), kWalksAtOnce)) +
           " at once; one that does not answer takes " +
           std::to_string(pdu::kTimeoutMicroseconds * (pdu::kRetries + 1) / 1'000'000) + " s");
  const auto start = std::chrono::steady_clock::now();
  std::vector<SurveyLine> lines(entries.size());
  ForEachAtOnce(entries.size(), kWalksAtOnce,
                [&](std::size_t i) { lines[i] = SurveyDevice(entries[i]); });
  PrintWhole(FormatSurvey(lines, SecondsSince(start)));
  const bool all_ok = std::all_of(lines.begin(), lines.end(), [](const SurveyLine& line) {
    return line.verdict.state == SurveyState::kOk;
  });
  return all_ok ? kExitOk : kExitShortfall;
}

}  // namespace pdu_host
