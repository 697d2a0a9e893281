#include "console/console_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "common/console_output.h"
#include "console/plugin_line.h"

namespace pdu_host {
namespace {

// A line longer than this without a newline is passed on in pieces.
constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::chrono::seconds kSyncBound{10};
// How long a fatal signal waits for a thread to pass on what it took.
constexpr int kFatalWaitMilliseconds = 2000;

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// If the process dies while capturing, what the pipes still hold (the
// plug-in's last lines, an abort message) is written raw to the saved
// descriptors, so that it is not lost with the reader thread. Only one
// capture is active at a time.
std::atomic<int> fatal_out_read{-1};
std::atomic<int> fatal_err_read{-1};
std::atomic<int> fatal_out{-1};
std::atomic<int> fatal_err{-1};
// Set by the fatal-signal handler: from then on only it takes from the pipes.
std::atomic<bool> dying{false};
// Threads that have taken bytes from the pipes and not yet passed them on.
std::atomic<int> holding{0};

// Async-signal-safe: read and write only.
void DrainRaw(int from, int to) {
  char buffer[4096];
  for (int rounds = 0; from >= 0 && to >= 0 && rounds < 64; ++rounds) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0 || ::write(to, buffer, static_cast<std::size_t>(n)) != n) return;
  }
}

void OnFatalSignal(int signal) {
  dying = true;
  const timespec millisecond{0, 1'000'000};
  for (int waited = 0; holding != 0 && waited < kFatalWaitMilliseconds; ++waited) {
    ::nanosleep(&millisecond, nullptr);
  }
  DrainRaw(fatal_out_read, fatal_out);
  DrainRaw(fatal_err_read, fatal_err);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

// Sanitizer runtimes, when linked in, write their reports to descriptor 2
// and end the process themselves: they are told to write to the real one.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

ConsoleCapture::ConsoleCapture(const std::vector<ConsoleDevice>& devices, Observer observer)
    : observer_(std::move(observer)), attribution_(devices) {
  out_.is_error = false;
  err_.is_error = true;
  Start();
}

ConsoleCapture::~ConsoleCapture() { Stop(); }

void ConsoleCapture::Start() {
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  int stop_pipe[2] = {-1, -1};
  const auto fail = [&](const char* what) {
    error_ = std::string(what) + ": " + std::strerror(errno);
    for (int* fd : {&out_pipe[0], &out_pipe[1], &err_pipe[0], &err_pipe[1], &stop_pipe[0],
                    &stop_pipe[1], &saved_out_, &saved_err_}) {
      CloseIfOpen(*fd);
    }
  };
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(stop_pipe, O_CLOEXEC) != 0) {
    return fail("cannot create a pipe");
  }
  saved_out_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  saved_err_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (saved_out_ < 0 || saved_err_ < 0) return fail("cannot duplicate standard output");
  for (const int fd : {out_pipe[0], err_pipe[0], stop_pipe[0]}) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  out_.read_fd = out_pipe[0];
  err_.read_fd = err_pipe[0];
  stop_read_ = stop_pipe[0];
  stop_write_ = stop_pipe[1];
  try {
    reader_ = std::thread([this] { Read(); });
  } catch (const std::system_error& e) {
    errno = e.code().value();
    out_.read_fd = err_.read_fd = stop_read_ = stop_write_ = -1;
    return fail("cannot start the console reader");
  }
  // Only descriptors 1 and 2 hold the pipes' write ends from here on, so the
  // reader sees the end of both once they are restored.
  if (::dup2(out_pipe[1], STDOUT_FILENO) < 0 || ::dup2(err_pipe[1], STDERR_FILENO) < 0) {
    error_ = std::string("cannot redirect standard output: ") + std::strerror(errno);
    ::dup2(saved_out_, STDOUT_FILENO);
    ::dup2(saved_err_, STDERR_FILENO);
    CloseIfOpen(out_pipe[1]);
    CloseIfOpen(err_pipe[1]);
    Stop();
    return;
  }
  CloseIfOpen(out_pipe[1]);
  CloseIfOpen(err_pipe[1]);
  SetOwnDescriptors(saved_out_, saved_err_);
  SetFatalPath(true);
}

void ConsoleCapture::SetFatalPath(bool capturing) {
  dying = false;
  fatal_out_read = capturing ? out_.read_fd : -1;
  fatal_err_read = capturing ? err_.read_fd : -1;
  fatal_out = capturing ? saved_out_ : -1;
  fatal_err = capturing ? saved_err_ : -1;
  if (__sanitizer_set_report_fd != nullptr) {
    __sanitizer_set_report_fd(
        reinterpret_cast<void*>(static_cast<std::intptr_t>(capturing ? saved_err_ : 2)));
  }
  for (std::size_t i = 0; i < std::size(kFatalSignals); ++i) {
    if (capturing) {
      // A handler of its own (a sanitizer's) is left in place.
      struct sigaction action {};
      action.sa_handler = OnFatalSignal;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESETHAND;
      if (::sigaction(kFatalSignals[i], nullptr, &fatal_before_[i]) == 0 &&
          fatal_before_[i].sa_handler == SIG_DFL) {
        fatal_installed_[i] = ::sigaction(kFatalSignals[i], &action, nullptr) == 0;
      }
    } else if (fatal_installed_[i]) {
      ::sigaction(kFatalSignals[i], &fatal_before_[i], nullptr);
      fatal_installed_[i] = false;
    }
  }
}

void ConsoleCapture::Stop() {
  if (!reader_.joinable()) return;
  if (saved_out_ >= 0 && error_.empty()) {
    // What the plug-in left in stdio's buffers is its output too.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    Sync();
    SetFatalPath(false);
    ::dup2(saved_out_, STDOUT_FILENO);
    ::dup2(saved_err_, STDERR_FILENO);
    SetOwnDescriptors(STDOUT_FILENO, STDERR_FILENO);
  }
  WriteAll(stop_write_, "x");
  reader_.join();
  for (int* fd :
       {&out_.read_fd, &err_.read_fd, &stop_read_, &stop_write_, &saved_out_, &saved_err_}) {
    CloseIfOpen(*fd);
  }
}

void ConsoleCapture::Read() {
  bool out_open = true;
  bool err_open = true;
  for (;;) {
    pollfd waits[3] = {{out_open ? out_.read_fd : -1, POLLIN, 0},
                       {err_open ? err_.read_fd : -1, POLLIN, 0},
                       {stop_read_, POLLIN, 0}};
    if (::poll(waits, 3, -1) < 0 && errno != EINTR) break;
    if (waits[2].revents != 0) break;
    const Taking taking(*this);
    if (!taking.owns()) continue;
    // A pipe whose writers are all gone reports POLLHUP without POLLIN at its end.
    if (waits[0].revents & POLLIN) {
      TakeAvailable(out_);
    } else if (waits[0].revents != 0) {
      out_open = false;
    }
    if (waits[1].revents & POLLIN) {
      TakeAvailable(err_);
    } else if (waits[1].revents != 0) {
      err_open = false;
    }
  }
  const Taking taking(*this);
  if (!taking.owns()) return;
  for (Stream* stream : {&out_, &err_}) {
    TakeAvailable(*stream);
    if (!stream->pending.empty()) Emit(*stream, stream->pending);
    stream->pending.clear();
  }
}

void ConsoleCapture::TakeAvailable(Stream& stream) {
  ++holding;
  int available = 0;
  if (!dying && ::ioctl(stream.read_fd, FIONREAD, &available) == 0) {
    char buffer[16 * 1024];
    std::size_t left = static_cast<std::size_t>(available);
    while (left != 0) {
      const ssize_t n = ::read(stream.read_fd, buffer, std::min(left, sizeof buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      left -= static_cast<std::size_t>(n);
      stream.pending.append(buffer, static_cast<std::size_t>(n));
      std::size_t end;
      while ((end = stream.pending.find('\n')) != std::string::npos) {
        Emit(stream, stream.pending.substr(0, end));
        stream.pending.erase(0, end + 1);
      }
      if (stream.pending.size() > kMaxLine) {
        Emit(stream, stream.pending);
        stream.pending.clear();
      }
    }
  }
  --holding;
}

void ConsoleCapture::Emit(const Stream& stream, const std::string& line) {
  std::vector<unsigned int> candidates;
  {
    std::lock_guard<std::mutex> lock(attribution_mutex_);
    candidates = attribution_.Candidates(line, LineAttribution::Clock::now());
  }
  if (!candidates.empty() && observer_) observer_(candidates, line);
  std::string mark = "[plug-in] ";
  if (candidates.size() == 1 || (candidates.size() > 1 && IsProblem(ClassifyLine(line)))) {
    mark = "[device " + Alternatives(candidates) + "] ";
  }
  const std::string marked = mark + line + "\n";
  if (stream.is_error) {
    WriteErr(marked);
  } else {
    WriteOut(marked);
  }
}

void ConsoleCapture::Sync() {
  if (!reader_.joinable() || saved_out_ < 0) return;
  const Taking taking(*this);
  if (!taking.owns()) return;
  TakeAvailable(out_);
  TakeAvailable(err_);
}

void ConsoleCapture::SetCalling(std::optional<unsigned int> id) {
  Sync();
  std::lock_guard<std::mutex> lock(attribution_mutex_);
  attribution_.SetCalling(id);
}

void ConsoleCapture::PassEnded(unsigned int id) {
  const auto now = LineAttribution::Clock::now();
  Sync();
  std::lock_guard<std::mutex> lock(attribution_mutex_);
  attribution_.PassEnded(id, now);
}

void ConsoleCapture::Stopped(unsigned int id) {
  Sync();
  std::lock_guard<std::mutex> lock(attribution_mutex_);
  attribution_.Stopped(id);
}

ConsoleCapture::Taking::Taking(ConsoleCapture& capture) : capture_(capture) {
  std::unique_lock<std::mutex> lock(capture_.taking_mutex_);
  owns_ = capture_.taking_ended_.wait_for(lock, kSyncBound, [&] { return !capture_.taking_; });
  if (owns_) capture_.taking_ = true;
}

ConsoleCapture::Taking::~Taking() {
  if (!owns_) return;
  {
    std::lock_guard<std::mutex> lock(capture_.taking_mutex_);
    capture_.taking_ = false;
  }
  capture_.taking_ended_.notify_all();
}

ConsoleCapture::Call::Call(ConsoleCapture& capture, unsigned int id) : capture_(capture) {
  capture_.SetCalling(id);
}

ConsoleCapture::Call::~Call() { capture_.SetCalling(std::nullopt); }

}  // namespace pdu_host
