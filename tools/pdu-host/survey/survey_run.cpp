#include "survey/survey_run.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "common/complain.h"
#include "common/exit_status.h"
#include "common/interruption.h"
#include "driver/walk/walk_settings.h"
#include "survey/configuration_cause.h"
#include "survey/survey_output.h"
#include "survey/survey_progress.h"
#include "survey/survey_report.h"
#include "walk/descriptor_budget.h"
#include "walk/walk_engine.h"

namespace pdu_host {
namespace {

std::string Pdus(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " PDU" : " PDUs");
}

void SayHowMany(std::size_t walked, const DescriptorBudget& budget) {
  const std::string dead_time =
      std::to_string(pdu::kTimeoutMicroseconds * (pdu::kRetries + 1) / 1'000'000) + " s";
  if (walked <= budget.walks) {
    Complain("surveying " + Pdus(walked) + ", all at once; one that does not answer takes " +
             dead_time);
    return;
  }
  Complain("surveying " + Pdus(walked) + " in waves of " + std::to_string(budget.walks) +
           ": the limit of " + std::to_string(budget.limit) +
           " open descriptors allows no more at once (raise it with ulimit -n); one that does "
           "not answer takes " +
           dead_time);
}

}  // namespace

int RunSurvey(const std::vector<DeviceEntry>& entries, bool json) {
  CatchInterrupts(
      "ending the walks under way; the PDUs judged are printed, the others as interrupted, then "
      "the summary (press Ctrl-C again to quit at once, without them)");
  const DescriptorBudget budget = RaiseDescriptorLimit();
  std::vector<SurveyLine> lines(entries.size());
  std::vector<const DeviceEntry*> targets;
  std::vector<std::size_t> line_of;  // by target
  for (std::size_t i = 0; i < entries.size(); ++i) {
    lines[i].id = entries[i].id;
    lines[i].address = entries[i].address;
    if (entries[i].address.empty()) {
      lines[i].verdict = JudgeNoAddress();
      continue;
    }
    targets.push_back(&entries[i]);
    line_of.push_back(i);
  }
  SayHowMany(targets.size(), budget);

  const auto start = std::chrono::steady_clock::now();
  SurveyOutput output(lines, json);
  SurveyProgress progress(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].address.empty()) continue;
    progress.Count(lines[i].verdict.state);
    output.Judged(lines[i]);
  }
  WalkEvents events;
  events.ended = [&](std::size_t target, TableWalk&& walk, double seconds) {
    SurveyLine& line = lines[line_of[target]];
    line.seconds = seconds;
    line.verdict = JudgeWalk(walk);
    line.engine_id = walk.engine_id;
    if (const auto cause = ConfigurationCause(*targets[target], line.verdict.state)) {
      line.verdict.problem = *cause + line.verdict.problem;
    }
    CountFields(walk, line);
    progress.Count(line.verdict.state);
    output.Judged(line);
  };
  events.tick = [&progress] { progress.Tick(); };
  WalkTables(targets, budget.walks, events);
  progress.Erase();

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  output.Finish(lines, seconds);
  if (const int signal = Interrupted()) {
    const std::size_t unjudged = std::count_if(
        lines.begin(), lines.end(),
        [](const SurveyLine& line) { return line.verdict.state == SurveyState::kInterrupted; });
    Complain(std::string("interrupted by ") + InterruptName(signal) + ": " + Pdus(unjudged) +
             " not judged, marked interrupted");
    return kExitInterrupted;
  }
  const bool all_ok = std::all_of(lines.begin(), lines.end(), [](const SurveyLine& line) {
    return line.verdict.state == SurveyState::kOk;
  });
  return all_ok ? kExitOk : kExitShortfall;
}

}  // namespace pdu_host
