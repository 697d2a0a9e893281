#include "survey/survey_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

#include "common/console_output.h"

namespace pdu_host {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr char kEraseLine[] = "\r\033[K";
// Columns of the terminal on standard error; 80 when it does not say.
std::size_t TerminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

SurveyProgress::SurveyProgress(std::size_t total)
    : shown_(::isatty(STDERR_FILENO) == 1), total_(total) {
  Draw(true);
}

SurveyProgress::~SurveyProgress() { Erase(); }

void SurveyProgress::Count(SurveyState state) {
  ++done_;
  ++counts_.at(static_cast<std::size_t>(state));
  Draw(false);
}

void SurveyProgress::Tick() { Draw(false); }

void SurveyProgress::Erase() {
  if (shown_) WriteErr(kEraseLine);
  shown_ = false;
}

void SurveyProgress::Draw(bool now) {
  if (!shown_ || (!now && Clock::now() - drawn_ < kRedrawEvery)) return;
  drawn_ = Clock::now();
  std::string line = std::to_string(done_) + "/" + std::to_string(total_) + " PDUs done";
  const char* separator = ": ";
  for (const SurveyState state : kSurveyStates) {
    const std::size_t count = counts_.at(static_cast<std::size_t>(state));
    if (count == 0) continue;
    line += separator + std::to_string(count) + " " + StateWords(state);
    separator = ", ";
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "; %.0f s",
                std::chrono::duration<double>(drawn_ - start_).count());
  line += seconds;
  // Within one line of the terminal, so that the next draw replaces it all.
  const std::size_t width = TerminalWidth();
  if (line.size() >= width) line.resize(width - 1);
  if (line == shown_line_) return;
  shown_line_ = line;
  WriteErr(kEraseLine + line);
}

}  // namespace pdu_host
