// The plug-in's console as it is written inside this process: std::cout,
// std::cerr and std::clog, and C's stdout and stderr (printf,
// fprintf(stderr), and net-snmp's log, which goes to stderr while no log
// handler is set). While an InProcessConsole lives, all of them hand
// complete lines, with the device of the thread that wrote each
// (thread_device.h), to its handler instead of the descriptors.
//
// Each thread's bytes make lines of their own, so the lines of threads
// writing at once never mix; a line goes to the handler on the thread that
// ends it, inside that thread's write, so nothing waits to be passed on. A
// line longer than kMaxLine goes on in pieces; what a thread left without a
// newline goes on when the console is given back.
//
// The replacement streams live as long as the process: a thread still
// inside a write when the console is given back, or one left behind,
// finishes it on descriptor 1 or 2. One InProcessConsole at a time.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <streambuf>
#include <string>

namespace pdu_host {

struct WrittenLine {
  bool is_error = false;               // written to stderr (std::cerr, std::clog, stderr)
  std::optional<unsigned int> writer;  // the writing thread's device
  std::string text;                    // without its newline
};

class InProcessConsole {
 public:
  using Handler = std::function<void(const WrittenLine& line)>;
  static constexpr std::size_t kMaxLine = 64 * 1024;

  // Takes the streams over; throws std::runtime_error when C's replacement
  // streams cannot be made.
  explicit InProcessConsole(Handler handler);
  // Hands on what threads left without a newline and gives the streams back.
  ~InProcessConsole();
  InProcessConsole(const InProcessConsole&) = delete;
  InProcessConsole& operator=(const InProcessConsole&) = delete;

 private:
  std::streambuf* cout_before_ = nullptr;
  std::streambuf* cerr_before_ = nullptr;
  std::streambuf* clog_before_ = nullptr;
  std::FILE* stdout_before_ = nullptr;
  std::FILE* stderr_before_ = nullptr;
};

}  // namespace pdu_host
