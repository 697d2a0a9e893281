#include "survey/survey_report.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/text_columns.h"
#include "configuration/shown_address.h"
#include "driver/v3/usm_state.h"
#include "verdict/field_coverage.h"

namespace pdu_host {
namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

std::vector<std::string> Heading() {
  // The names of --json's keys, which scripts may read: one name a column.
  return {"id", "address", "state", "fields", "unkept", "requests", "seconds", "problem"};
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

void CountFields(const TableWalk& walk, SurveyLine& line) {
  line.fields_stored = 0;
  for (const FieldCoverage& field : CoverFields(walk)) {
    if (field.holds != nullptr) ++line.fields_stored;
  }
  line.without_field = ObjectsWithoutField(walk).size();
  line.requests = RequestsSent(walk);
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
  return summary + "\n" + SharedEngineLines(lines);
}

std::string SharedEngineLines(const std::vector<SurveyLine>& lines) {
  constexpr std::size_t kNamed = 3;  // a hall of clones is counted, not listed
  std::map<std::string, std::vector<const SurveyLine*>> by_engine;
  for (const SurveyLine& line : lines) {
    if (!line.engine_id.empty()) by_engine[line.engine_id].push_back(&line);
  }
  std::string text;
  for (const auto& [engine_id, sharing] : by_engine) {
    if (sharing.size() < 2) continue;
    std::string pdus;
    const std::size_t named = sharing.size() > kNamed + 1 ? kNamed : sharing.size();
    for (std::size_t i = 0; i < named; ++i) {
      pdus += (i == 0                    ? ""
               : i + 1 == sharing.size() ? " and "
                                         : ", ") +
              ShownAddress(sharing[i]->address);
    }
    if (named < sharing.size()) pdus += " and " + std::to_string(sharing.size() - named) + " more";
    text += "PDUs " + pdus + " answer with SNMP v3 engine ID " + pdu::EngineIdText(engine_id) +
            "; SNMP v3 expects each PDU its own: " + (sharing.size() == 2 ? "both" : "all") +
            " are read correctly, but give each its own when you can\n";
  }
  return text;
}

}  // namespace pdu_host
