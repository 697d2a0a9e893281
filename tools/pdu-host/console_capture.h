// The plug-in's console, captured at the descriptor level so that nothing it
// writes gets past: std::cout, printf and fprintf(stderr), and net-snmp's own
// messages all end up on descriptors 1 and 2, which are pipes while a
// ConsoleCapture is active. A reader thread takes each line as it comes,
// attributes it to a device, hands it to the observer and passes it on to
// where the descriptor pointed before, stdout lines to stdout and stderr
// lines to stderr, marked "[device 7] " or, when the device cannot be told,
// "[plug-in] ".
//
// Attribution: a line that names exactly one device's address is that
// device's (the plug-in names the peer in its time-out and walk lines,
// net-snmp in its open failures), and so is a configuration trace naming its
// data identifier (device ids are data identifiers). Any other line is the device's whose call
// the host thread is making (a Call scope) when no other threaded device is
// running, and outside such calls the running threaded device's when there
// is only one. Otherwise it stays unattributed. Sync() makes this exact for
// the host thread: it returns once everything written to either descriptor
// before it was called has been read and attributed.
//
// When the pipes or the thread cannot be set up, the capture is inactive:
// the plug-in writes to the console directly and nothing is attributed. If
// the process dies of a signal while capturing, what the pipes hold is
// written raw to the console first; sanitizer reports go to it directly.
#pragma once

#include <signal.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace pdu_host {

class ConsoleCapture {
 public:
  struct Device {
    unsigned int id = 0;
    std::string address;
    bool threaded = false;  // samples on its own thread once its Init has begun
  };
  // Called on the reader thread for each line attributed to a device.
  using Observer = std::function<void(unsigned int id, const std::string& line)>;

  ConsoleCapture(std::vector<Device> devices, Observer observer);
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

  // A threaded device is gone: its thread writes no more.
  void Stopped(unsigned int id);
  // Waits (bounded) until every byte written before the call was handled.
  void Sync();

 private:
  struct Stream {
    int read_fd = -1;
    bool is_error = false;
    std::string pending;             // an unfinished line
    std::set<std::uint64_t> fences;  // fence numbers read, not yet collected
  };

  void Start();
  void Stop();
  void Read();
  void Consume(Stream& stream);
  void Emit(const Stream& stream, const std::string& line);
  std::optional<unsigned int> Attribute(const std::string& line);
  void SetCalling(std::optional<unsigned int> id);
  void SetFatalPath(bool capturing);

  std::vector<Device> devices_;
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

  std::mutex mutex_;  // guards the state below and both streams' fences
  std::condition_variable fence_read_;
  std::uint64_t next_fence_ = 0;
  std::optional<unsigned int> calling_;
  std::set<unsigned int> running_;  // threaded devices that may be writing
};

}  // namespace pdu_host
