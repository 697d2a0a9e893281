#include "survey/survey_output.h"

#include <unistd.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/console_output.h"
#include "survey/survey_json.h"

namespace pdu_host {

SurveyOutput::SurveyOutput(const std::vector<SurveyLine>& lines, bool json)
    : json_(json), streamed_(::isatty(STDOUT_FILENO) != 1) {
  if (!streamed_) return;
  if (json_) {
    WriteOut(SurveyJsonHead());
  } else {
    widths_ = StreamedWidths(lines);
    WriteOut(StreamedHeading(widths_));
  }
}

void SurveyOutput::Judged(const SurveyLine& line) {
  if (!streamed_) return;
  WriteOut(json_ ? SurveyJsonPdu(line, first_) : StreamedLine(line, widths_));
  first_ = false;
}

void SurveyOutput::Finish(const std::vector<SurveyLine>& lines, double seconds) {
  if (streamed_) {
    WriteOut(json_ ? SurveyJsonTail(lines, seconds) : SurveySummary(lines, seconds));
    return;
  }
  if (!json_) {
    WriteOut(FormatSurvey(lines, seconds));
    return;
  }
  std::string document = SurveyJsonHead();
  for (std::size_t i = 0; i < lines.size(); ++i) document += SurveyJsonPdu(lines[i], i == 0);
  WriteOut(document + SurveyJsonTail(lines, seconds));
}

}  // namespace pdu_host
