// pdu-host --survey --json: the survey as one JSON document instead of the
// table, for a script or a commissioning sheet. One PDU a line, members in
// the table's order, states in the table's words, and every state in the
// summary with its count, 0 included:
//
//   {"pdus": [
//     {"id": 7, "address": "192.0.2.10:161", "state": "ok", "fields": 31, "unkept": 0,
//      "requests": 32, "seconds": 0.02, "problem": null},
//     ...
//   ],
//   "summary": {"pdus": 1000, "seconds": 21.30, "ok": 880, "partial": 3, "empty table": 2,
//               "no response": 95, "refused": 5, "cannot open": 15,
//               "interrupted": 0}}
//
// "fields" counts the record's fields the walk stores, "unkept" the objects
// served that no field keeps; "problem" is null for an ok PDU. The document
// is written in three kinds of pieces, so that each PDU's line can be
// printed as soon as it is judged: the head, one PDU line each, the tail.
#pragma once

#include <string>
#include <vector>

#include "survey/survey_report.h"

namespace pdu_host {

// "{"pdus": ["
std::string SurveyJsonHead();
// The PDU's line, after a line end and with a comma before it unless it is
// the first.
std::string SurveyJsonPdu(const SurveyLine& line, bool first);
// The end of the list and the summary of `lines`; ends in '\n'.
std::string SurveyJsonTail(const std::vector<SurveyLine>& lines, double seconds);

}  // namespace pdu_host
