// Where and when a survey's result is printed on standard output:
//
// - on a terminal, the aligned table (or with --json the document,
//   survey_json.h) once every PDU is judged, in the order of the
//   configuration; a progress line on standard error shows meanwhile
//   (survey_progress.h);
// - otherwise (a pipe, a file), the heading at once and each PDU's line as
//   soon as it is judged, in that order, so that `--survey | head -2` shows
//   the first PDU judged without waiting for the slowest; with --json the
//   document likewise, one PDU a line.
//
// The summary ends it either way. Judged is called from the survey's
// walking thread only.
#pragma once

#include <cstddef>
#include <vector>

#include "survey/survey_report.h"

namespace pdu_host {

class SurveyOutput {
 public:
  // `lines` holds every PDU's id and address (the rest comes as judged).
  SurveyOutput(const std::vector<SurveyLine>& lines, bool json);

  // A PDU's line has its verdict.
  void Judged(const SurveyLine& line);
  // Every line has its verdict; prints what is still to print.
  void Finish(const std::vector<SurveyLine>& lines, double seconds);

 private:
  bool json_ = false;
  bool streamed_ = false;
  bool first_ = true;
  std::vector<std::size_t> widths_;
};

}  // namespace pdu_host
