// The plug-in's console, captured at the descriptor level so that nothing it
// writes gets past: std::cout, printf and fprintf(stderr), and net-snmp's own
// messages all end up on descriptors 1 and 2, which are pipes while a
// ConsoleCapture is active. Each line is attributed (line_attribution.h),
// handed to the observer and passed on to where the descriptor pointed
// before, stdout lines to stdout and stderr lines to stderr, marked
// "[device 7] ", "[device 7 or 8] " for a problem line that cannot be tied
// to one device, or "[plug-in] ".
//
// Lines are taken from the pipes and passed on by one thread at a time: by
// a reader thread as they come, and by Sync(), which takes on the calling
// thread what the pipes hold. So when Sync() returns, every byte written to
// either descriptor before it was called has been attributed: the host
// thread syncs on entry to and exit from each call into a device (a Call
// scope), and a device's own thread at the end of its pass (PassEnded).
//
// When the pipes or the thread cannot be set up, the capture is inactive:
// the plug-in writes to the console directly and nothing is attributed. If
// the process dies of a signal while capturing (the plug-in aborts on
// purpose when a device is deleted from inside its own pass), the handler
// first waits, bounded, for a thread that has taken bytes from the pipes to
// pass them on, then writes what the pipes still hold raw to the console;
// sanitizer reports go to it directly.
#pragma once

#include <signal.h>

#include <condition_variable>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/line_attribution.h"

namespace pdu_host {

class ConsoleCapture {
 public:
  // Called for each line with the devices it may come from (one when it is
  // tied to a device; never empty), on the thread that took the line.
  using Observer =
      std::function<void(const std::vector<unsigned int>& candidates, const std::string& line)>;

  ConsoleCapture(const std::vector<ConsoleDevice>& devices, Observer observer);
  // Stops: the plug-in's buffered output is flushed and passed on, the
  // descriptors restored and the reader joined.
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  bool active() const { return reader_.joinable(); }
  // Why the capture is inactive; empty when active.
  const std::string& error() const { return error_; }

  // While it lives, the host thread is calling into device `id`.
  class Call {
   public:
    Call(ConsoleCapture& capture, unsigned int id);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

   private:
    ConsoleCapture& capture_;
  };

  // Threaded device `id` ended a pass with its cycle; called on its own
  // thread from the cycle's last host call.
  void PassEnded(unsigned int id);
  // A device is gone: its thread writes no more.
  void Stopped(unsigned int id);
  // Attributes and passes on everything written before the call. Waits at
  // most a bound for the lock (a console that does not take output).
  void Sync();

 private:
  struct Stream {
    int read_fd = -1;
    bool is_error = false;
    std::string pending;  // an unfinished line
  };

  // While it lives, this thread alone takes from the pipes and passes on.
  // It waits at most kSyncBound for that (owns() false after).
  class Taking {
   public:
    explicit Taking(ConsoleCapture& capture);
    ~Taking();
    Taking(const Taking&) = delete;
    Taking& operator=(const Taking&) = delete;
    bool owns() const { return owns_; }

   private:
    ConsoleCapture& capture_;
    bool owns_ = false;
  };

  void Start();
  void Stop();
  void Read();
  // What the pipe holds now, taken and passed on, under a Taking.
  void TakeAvailable(Stream& stream);
  void Emit(const Stream& stream, const std::string& line);
  void SetCalling(std::optional<unsigned int> id);
  void SetFatalPath(bool capturing);

  Observer observer_;
  std::string error_;
  int saved_out_ = -1;
  int saved_err_ = -1;
  int stop_read_ = -1;
  int stop_write_ = -1;
  Stream out_;
  Stream err_;
  std::thread reader_;
  // The signals that end the process with a message the pipes may hold.
  static constexpr int kFatalSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
  struct sigaction fatal_before_[std::size(kFatalSignals)] = {};
  bool fatal_installed_[std::size(kFatalSignals)] = {};

  std::mutex taking_mutex_;
  std::condition_variable taking_ended_;
  bool taking_ = false;  // a thread holds a Taking; guarded by taking_mutex_
  std::mutex attribution_mutex_;
  LineAttribution attribution_;  // guarded by attribution_mutex_
};

}  // namespace pdu_host
