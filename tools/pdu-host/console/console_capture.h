// The plug-in's console while it runs, each line tied to the device it is
// from (line_attribution.h) and passed on marked "[device 7] " (or
// "[device 7 or 8] " for a line naming an address both devices share), or
// "[plug-in] " when no device can be named: standard output lines to
// standard output, standard error lines to standard error, after the
// observer has seen each.
//
// Two paths. What the plug-in, the C++ runtime and net-snmp write through
// the C and C++ streams is taken inside the process with the writing
// thread's device (in_process_console.h): the plug-in writes all of its
// lines so. Bytes written straight to descriptor 1 or 2 (a raw write, an
// abort message of the C library) go through pipes and a reader thread and
// are tied by what they name. Sanitizer reports go to the console
// directly; if the process dies of a signal while capturing, what the pipes
// still hold is written to the console raw first.
//
// If the pipes or the reader cannot be set up, straight bytes reach the
// console unmarked and error() says so; the in-process path works without
// them.
#pragma once

#include <signal.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/in_process_console.h"
#include "console/line_attribution.h"

namespace pdu_host {

class ConsoleCapture {
 public:
  // Called for each line with the devices it is from (line_attribution.h;
  // none when no device can be named), on the thread that passes it on.
  using Observer =
      std::function<void(const std::vector<unsigned int>& devices, const std::string& line)>;

  ConsoleCapture(const std::vector<ConsoleDevice>& devices, Observer observer);
  // Passes on what is left, restores the descriptors and joins the reader.
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  // Why some of the console is not captured; empty when all of it is.
  const std::string& error() const { return error_; }

 private:
  struct Pipe {
    int read_fd = -1;
    bool is_error = false;
    std::string pending;  // an unfinished line
  };

  void CaptureDescriptors();
  void RestoreDescriptors();
  void ReadPipes();
  void TakeAvailable(Pipe& pipe);
  void Pass(const WrittenLine& line);
  void SetFatalPath(bool capturing);

  const Observer observer_;
  const LineAttribution attribution_;
  std::string error_;
  int saved_out_ = -1;
  int saved_err_ = -1;
  int stop_read_ = -1;
  int stop_write_ = -1;
  Pipe out_;
  Pipe err_;
  std::thread reader_;
  std::unique_ptr<InProcessConsole> in_process_;
  // The signals that end the process with a message the pipes may hold.
  static constexpr int kFatalSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
  struct sigaction fatal_before_[std::size(kFatalSignals)] = {};
  bool fatal_installed_[std::size(kFatalSignals)] = {};
};

}  // namespace pdu_host
