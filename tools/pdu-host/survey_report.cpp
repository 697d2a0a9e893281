#include "survey_report.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "field_coverage.h"
#include "record_report.h"
#include "shown_address.h"
#include "text_columns.h"

namespace pdu_host {
namespace {

constexpr char kTableOid[] = "1.3.6.1.4.1.44782.4.14.1.1";

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// Why net-snmp opened nothing, or sent nothing: the address's own problem
// when it has one, else net-snmp's words.
std::string CannotOpenReason(const TableWalk& walk) {
  const std::vector<AddressFinding>& findings = walk.address_findings;
  for (const AddressFinding& finding : findings) {
    if (finding.stops_open) return finding.text;
  }
  if (!findings.empty()) return findings.front().text;
  return (walk.how == WalkEnd::kNoSession ? "net-snmp cannot open it: "
                                          : "nothing could be sent to it: ") +
         walk.failure;
}

// The first field the walk leaves unwritten, and how many there are.
std::string FirstFieldProblem(const TableWalk& walk) {
  std::string first;
  std::size_t count = 0;
  for (const FieldCoverage& field : CoverFields(walk)) {
    if (field.holds != nullptr) continue;
    if (count++ != 0) continue;
    first = "col" + std::to_string(field.column);
    first += field.served.empty() ? " not served"
                                  : " served as " + field.served.front()->type_name +
                                        ", a type the plug-in does not store";
  }
  if (count > 1) first += " (" + std::to_string(count) + " fields in all; --explain lists them)";
  return first;
}

std::vector<std::string> Heading() {
  return {"id", "address", "state", "fields", "no field", "requests", "time", "problem"};
}

std::vector<std::string> Row(const SurveyLine& line) {
  return {std::to_string(line.id),
          ShownAddress(line.address),
          StateWords(line.verdict.state),
          std::to_string(line.fields_stored) + "/" + std::to_string(kFieldCount),
          std::to_string(line.without_field),
          std::to_string(line.requests),
          Seconds(line.seconds),
          line.verdict.problem};
}

}  // namespace

const char* StateWords(SurveyState state) {
  switch (state) {
    case SurveyState::kOk:
      return "ok";
    case SurveyState::kPartial:
      return "partial";
    case SurveyState::kEmptyTable:
      return "empty table";
    case SurveyState::kNoResponse:
      return "no response";
    case SurveyState::kRefused:
      return "refused";
    case SurveyState::kCannotOpen:
      return "cannot open";
    case SurveyState::kInterrupted:
      return "interrupted";
  }
  return "?";
}

WalkVerdict JudgeWalk(const TableWalk& walk) {
  if (walk.how == WalkEnd::kInterrupted) return {SurveyState::kInterrupted, walk.end};
  if (walk.answers == 0) {
    if (walk.how == WalkEnd::kNoResponse) return {SurveyState::kNoResponse, NoAnswerAdvice(walk)};
    if (walk.how == WalkEnd::kRefused) return {SurveyState::kRefused, walk.failure};
    if (walk.how == WalkEnd::kNotWalked) {
      return {SurveyState::kCannotOpen, "not walked: " + walk.failure};
    }
    if (walk.how == WalkEnd::kNoSession || walk.how == WalkEnd::kRequestFailed) {
      return {SurveyState::kCannotOpen, CannotOpenReason(walk)};
    }
  }
  if (walk.objects.empty()) {
    if (walk.complete) {
      return {SurveyState::kEmptyTable,
              std::string("the agent answered, but serves nothing under ") + kTableOid + " (" +
                  walk.end + "): another kind of device, or a view that hides the table"};
    }
    return {SurveyState::kEmptyTable, "the agent answered, but the walk " + walk.end};
  }
  if (!walk.complete) {
    const std::string answers = std::to_string(walk.answers) + " answers: ";
    if (walk.how == WalkEnd::kNoResponse) {
      return {SurveyState::kPartial,
              "the PDU stopped answering after " + answers + NoAnswerAdvice(walk)};
    }
    std::string why = walk.end;
    if (why.rfind("stopped: ", 0) == 0) why.erase(0, 9);
    return {SurveyState::kPartial, "the walk stopped after " + answers + why};
  }
  const std::string fields = FirstFieldProblem(walk);
  if (!fields.empty()) return {SurveyState::kPartial, fields};
  return {SurveyState::kOk, ""};
}

WalkVerdict JudgeNoAddress() {
  return {SurveyState::kCannotOpen, "the address is empty: the plug-in never samples this device"};
}

void CountFields(const TableWalk& walk, SurveyLine& line) {
  line.fields_stored = 0;
  for (const FieldCoverage& field : CoverFields(walk)) {
    if (field.holds != nullptr) ++line.fields_stored;
  }
  line.without_field = ObjectsWithoutField(walk).size();
  line.requests = walk.requests;
}

std::string FormatSurvey(const std::vector<SurveyLine>& lines, double seconds) {
  std::vector<std::vector<std::string>> rows = {Heading()};
  for (const SurveyLine& line : lines) rows.push_back(Row(line));
  return AlignedLines(rows) + SurveySummary(lines, seconds);
}

std::vector<std::size_t> StreamedWidths(const std::vector<SurveyLine>& lines) {
  std::vector<std::size_t> widths;
  for (const std::string& heading : Heading()) widths.push_back(DisplayWidth(heading));
  for (const SurveyLine& line : lines) {
    widths[0] = std::max(widths[0], std::to_string(line.id).size());
    widths[1] = std::max(widths[1], DisplayWidth(ShownAddress(line.address)));
  }
  for (const SurveyState state : kSurveyStates) {
    widths[2] = std::max(widths[2], std::string(StateWords(state)).size());
  }
  widths[6] = std::max(widths[6], Seconds(20).size());  // a time-out and its retry
  return widths;
}

std::string StreamedHeading(const std::vector<std::size_t>& widths) {
  return LineInColumns(Heading(), widths) + "\n";
}

std::string StreamedLine(const SurveyLine& line, const std::vector<std::size_t>& widths) {
  return LineInColumns(Row(line), widths) + "\n";
}

std::string SurveySummary(const std::vector<SurveyLine>& lines, double seconds) {
  std::map<SurveyState, std::size_t> counts;
  for (const SurveyLine& line : lines) ++counts[line.verdict.state];
  std::string summary = std::to_string(lines.size()) + (lines.size() == 1 ? " PDU" : " PDUs") +
                        " in " + Seconds(seconds) + ":";
  const char* separator = " ";
  for (const auto& [state, count] : counts) {
    summary += separator + std::to_string(count) + " " + StateWords(state);
    separator = ", ";
  }
  return summary + "\n";
}

}  // namespace pdu_host
