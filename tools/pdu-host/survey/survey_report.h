// pdu-host --survey: one verdict per PDU from one walk of its table, and the
// aligned table of them.
//
//   id  address          state        fields  unkept  requests  seconds  problem
//   7   127.0.0.1:40001  ok           31/31   0       32        0.04 s
//   8   127.0.0.1:9      no response  0/31    0       1         20.01 s  no answer to SNMP v2c,
//   9   127.0.0.1:40002  refused      0/31    0       1         0.01 s   unknown user: the PDU
//   ... 7 PDUs in 20.03 s: 3 ok, 1 empty table, 2 no response, 1 refused
//
// The states are the walk's verdicts (walk_verdict.h). The headings are
// --json's keys (survey_json.h); "unkept" counts the objects served that no
// field keeps.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "verdict/walk_verdict.h"
#include "walk/table_walk.h"

namespace pdu_host {

struct SurveyLine {
  unsigned int id = 0;
  std::string address;
  WalkVerdict verdict;
  std::size_t fields_stored = 0;  // of the record's 31
  std::size_t without_field = 0;  // objects served that no field keeps
  long requests = 0;
  double seconds = 0;
  std::string engine_id;  // SNMP v3: the engine ID (bytes) the PDU answered with
};

// The line's counts from its walk.
void CountFields(const TableWalk& walk, SurveyLine& line);

// The header, one line per device, the summary line; ends in '\n'.
std::string FormatSurvey(const std::vector<SurveyLine>& lines, double seconds);

// The same header and lines one at a time, for a survey that prints each
// PDU's line as it is judged: columns as wide as the widest id and address
// of `lines` (all known before the walks), the widest state and the heading
// (a wider value pushes the rest of its line along). Each ends in '\n'.
std::vector<std::size_t> StreamedWidths(const std::vector<SurveyLine>& lines);
std::string StreamedHeading(const std::vector<std::size_t>& widths);
std::string StreamedLine(const SurveyLine& line, const std::vector<std::size_t>& widths);

// "6 PDUs in 20.03 s: 3 ok, 1 empty table, 2 no response\n", then one line
// for each SNMP v3 engine ID that more than one PDU answered with.
std::string SurveySummary(const std::vector<SurveyLine>& lines, double seconds);

// The lines of SurveySummary about PDUs sharing an engine ID; empty when
// none do.
std::string SharedEngineLines(const std::vector<SurveyLine>& lines);

}  // namespace pdu_host
