#include "survey/survey_json.h"

#include <json/value.h>
#include <json/writer.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "driver/v3/usm_state.h"

namespace pdu_host {
namespace {

// `text` as a JSON string, escaped as JSON needs.
std::string Quoted(const std::string& text) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, Json::Value(text));
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", seconds);
  return text;
}

std::string Member(const char* name, const std::string& json) { return Quoted(name) + ": " + json; }

std::string PduObject(const SurveyLine& line) {
  const bool ok = line.verdict.state == SurveyState::kOk;
  return "{" + Member("id", std::to_string(line.id)) + ", " +
         Member("address", Quoted(line.address)) + ", " +
         Member("state", Quoted(StateWords(line.verdict.state))) + ", " +
         Member("fields", std::to_string(line.fields_stored)) + ", " +
         Member("unkept", std::to_string(line.without_field)) + ", " +
         Member("requests", std::to_string(line.requests)) + ", " +
         Member("seconds", Seconds(line.seconds)) + ", " +
         Member("problem", ok ? "null" : Quoted(line.verdict.problem)) + ", " +
         Member("engine_id",
                line.engine_id.empty() ? "null" : Quoted(pdu::EngineIdText(line.engine_id))) +
         "}";
}

}  // namespace

std::string SurveyJsonHead() { return "{\"pdus\": ["; }

std::string SurveyJsonPdu(const SurveyLine& line, bool first) {
  return (first ? "\n  " : ",\n  ") + PduObject(line);
}

std::string SurveyJsonTail(const std::vector<SurveyLine>& lines, double seconds) {
  std::array<std::size_t, std::size(kSurveyStates)> counts{};
  for (const SurveyLine& line : lines) ++counts.at(static_cast<std::size_t>(line.verdict.state));
  std::string json = lines.empty() ? "],\n" : "\n],\n";
  json += "\"summary\": {" + Member("pdus", std::to_string(lines.size())) + ", " +
          Member("seconds", Seconds(seconds));
  for (const SurveyState state : kSurveyStates) {
    json += ", " +
            Member(StateWords(state), std::to_string(counts.at(static_cast<std::size_t>(state))));
  }
  return json + "}}\n";
}

}  // namespace pdu_host
