#include "console/console_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "common/console_output.h"

namespace pdu_host {
namespace {

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// If the process dies while capturing, what the pipes still hold (an abort
// message written straight to the descriptor) is written raw to the saved
// descriptors, so that it is not lost with the reader thread. Only one
// capture is active at a time.
std::atomic<int> fatal_out_read{-1};
std::atomic<int> fatal_err_read{-1};
std::atomic<int> fatal_out{-1};
std::atomic<int> fatal_err{-1};

// Async-signal-safe: read and write only.
void DrainRaw(int from, int to) {
  char buffer[4096];
  for (int rounds = 0; from >= 0 && to >= 0 && rounds < 64; ++rounds) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0 || ::write(to, buffer, static_cast<std::size_t>(n)) != n) return;
  }
}

void OnFatalSignal(int signal) {
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
  CaptureDescriptors();
  try {
    in_process_ =
        std::make_unique<InProcessConsole>([this](const WrittenLine& line) { Pass(line); });
  } catch (const std::exception& e) {
    error_ += (error_.empty() ? "" : "; ") + std::string(e.what());
  }
}

ConsoleCapture::~ConsoleCapture() {
  in_process_.reset();  // lines left unfinished are passed on first
  RestoreDescriptors();
}

void ConsoleCapture::CaptureDescriptors() {
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  int stop_pipe[2] = {-1, -1};
  const auto fail = [&](const char* what) {
    error_ = std::string("bytes written straight to descriptor 1 or 2 are not marked: ") + what +
             ": " + std::strerror(errno);
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
    reader_ = std::thread([this] { ReadPipes(); });
  } catch (const std::system_error& e) {
    errno = e.code().value();
    out_.read_fd = err_.read_fd = stop_read_ = stop_write_ = -1;
    return fail("cannot start the console reader");
  }
  // Only descriptors 1 and 2 hold the pipes' write ends from here on, so the
  // reader sees the end of both once they are restored.
  const bool redirected =
      ::dup2(out_pipe[1], STDOUT_FILENO) >= 0 && ::dup2(err_pipe[1], STDERR_FILENO) >= 0;
  CloseIfOpen(out_pipe[1]);
  CloseIfOpen(err_pipe[1]);
  if (!redirected) {
    error_ = std::string(
                 "bytes written straight to descriptor 1 or 2 are not marked: cannot "
                 "redirect them: ") +
             std::strerror(errno);
    RestoreDescriptors();
    return;
  }
  SetOwnDescriptors(saved_out_, saved_err_);
  SetFatalPath(true);
}

void ConsoleCapture::RestoreDescriptors() {
  if (!reader_.joinable()) return;
  if (saved_out_ >= 0) {
    SetFatalPath(false);
    ::dup2(saved_out_, STDOUT_FILENO);
    ::dup2(saved_err_, STDERR_FILENO);
    SetOwnDescriptors(STDOUT_FILENO, STDERR_FILENO);
  }
  const char stop = 'x';
  while (::write(stop_write_, &stop, 1) < 0 && errno == EINTR) {
  }
  reader_.join();
  for (int* fd :
       {&out_.read_fd, &err_.read_fd, &stop_read_, &stop_write_, &saved_out_, &saved_err_}) {
    CloseIfOpen(*fd);
  }
}

void ConsoleCapture::SetFatalPath(bool capturing) {
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

// Until the stop byte comes; then what is left, once descriptors 1 and 2 no
// longer lead to the pipes.
void ConsoleCapture::ReadPipes() {
  bool out_open = true;
  bool err_open = true;
  for (;;) {
    pollfd waits[3] = {{out_open ? out_.read_fd : -1, POLLIN, 0},
                       {err_open ? err_.read_fd : -1, POLLIN, 0},
                       {stop_read_, POLLIN, 0}};
    if (::poll(waits, 3, -1) < 0 && errno != EINTR) break;
    if (waits[2].revents != 0) break;
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
  for (Pipe* pipe : {&out_, &err_}) {
    TakeAvailable(*pipe);
    if (!pipe->pending.empty()) Pass({pipe->is_error, std::nullopt, pipe->pending});
    pipe->pending.clear();
  }
}

// Reads until the pipe is empty (its read end does not block).
void ConsoleCapture::TakeAvailable(Pipe& pipe) {
  char buffer[16 * 1024];
  for (;;) {
    const ssize_t n = ::read(pipe.read_fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    pipe.pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = pipe.pending.find('\n')) != std::string::npos) {
      Pass({pipe.is_error, std::nullopt, pipe.pending.substr(0, end)});
      pipe.pending.erase(0, end + 1);
    }
    if (pipe.pending.size() > InProcessConsole::kMaxLine) {
      Pass({pipe.is_error, std::nullopt, std::exchange(pipe.pending, {})});
    }
  }
}

void ConsoleCapture::Pass(const WrittenLine& line) {
  const std::vector<unsigned int> devices = attribution_.Devices(line.text, line.writer);
  if (observer_) observer_(devices, line.text);
  const std::string mark =
      devices.empty() ? "[plug-in] " : "[device " + Alternatives(devices) + "] ";
  const std::string marked = mark + line.text + "\n";
  if (line.is_error) {
    WriteErr(marked);
  } else {
    WriteOut(marked);
  }
}

}  // namespace pdu_host
