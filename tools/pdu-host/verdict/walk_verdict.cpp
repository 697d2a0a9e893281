#include "verdict/walk_verdict.h"

#include <cstddef>
#include <string>
#include <vector>

#include "driver/walk/walk_settings.h"
#include "verdict/field_coverage.h"

namespace pdu_host {
namespace {

// The table's root in dotted form, from the one the walk uses.
std::string TableOidText() {
  std::string text;
  for (const oid arc : pdu::kTableRoot) text += (text.empty() ? "" : ".") + std::to_string(arc);
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
              std::string("the agent answered, but serves nothing under ") + TableOidText() + " (" +
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

}  // namespace pdu_host
