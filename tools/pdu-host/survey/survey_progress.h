// The one line that says how far a survey has got, while it runs, when
// standard error is a terminal (nothing otherwise):
//
//   412/1000 PDUs done: 380 ok, 2 partial, 30 no response; 12 s
//
// It is rewritten in place, at most ten times a second, cut to the
// terminal's width, and erased before the survey's table is printed.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <iterator>
#include <string>

#include "survey/survey_report.h"

namespace pdu_host {

class SurveyProgress {
 public:
  // Shown only when standard error is a terminal.
  explicit SurveyProgress(std::size_t total);
  ~SurveyProgress();  // erases the line
  SurveyProgress(const SurveyProgress&) = delete;
  SurveyProgress& operator=(const SurveyProgress&) = delete;

  // One more PDU judged.
  void Count(SurveyState state);
  // Redraws the line (for its time) when it is due.
  void Tick();
  // Erases the line; it stays away.
  void Erase();

 private:
  void Draw(bool now);

  using Clock = std::chrono::steady_clock;
  bool shown_ = false;
  std::size_t total_ = 0;
  std::size_t done_ = 0;
  std::array<std::size_t, std::size(kSurveyStates)> counts_{};  // by SurveyState
  Clock::time_point start_ = Clock::now();
  Clock::time_point drawn_{};
  std::string shown_line_;  // as last drawn
};

}  // namespace pdu_host
