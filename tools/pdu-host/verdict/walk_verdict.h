// The verdict on one walk of a PDU's table: its state in words and the first
// problem, the same for --survey and --explain.
//
// States: ok (every field served with a type the plug-in stores), partial
// (the walk stopped early, or fields not served or of a type the plug-in
// ignores: the problem names the first), empty table (the agent answered,
// but nothing under the table), no response (not a single answer), refused
// (an SNMP v3 PDU answered with a report: the problem says what to correct),
// cannot open (net-snmp cannot open the address, or sends nothing to it: the
// problem says why in terms of the address; or the device's credentials
// cannot be used, and the problem names the member), interrupted (Ctrl-C or
// SIGTERM came before its walk ended).
#pragma once

#include <string>

#include "walk/table_walk.h"

namespace pdu_host {

enum class SurveyState {
  kOk,
  kPartial,
  kEmptyTable,
  kNoResponse,
  kRefused,
  kCannotOpen,
  kInterrupted
};
inline constexpr SurveyState kSurveyStates[] = {SurveyState::kOk,         SurveyState::kPartial,
                                                SurveyState::kEmptyTable, SurveyState::kNoResponse,
                                                SurveyState::kRefused,    SurveyState::kCannotOpen,
                                                SurveyState::kInterrupted};

// "ok", "partial", "empty table", "no response", "refused", "cannot open",
// "interrupted".
const char* StateWords(SurveyState state);

struct WalkVerdict {
  SurveyState state = SurveyState::kOk;
  std::string problem;  // the first problem in words; empty when ok
};

// The verdict on a walk. For an address net-snmp cannot open, or could
// send nothing to, the problem is the address's own when it has one.
WalkVerdict JudgeWalk(const TableWalk& walk);

// For a device without an address, which the plug-in never samples.
WalkVerdict JudgeNoAddress();

}  // namespace pdu_host
