#include "console_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
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

#include "console_output.h"
#include "plugin_line.h"

namespace pdu_host {
namespace {

// Fences travel through the pipes as "\x1dpdu-host-fence:N\x1d", written
// with one write() each, so they arrive whole between the plug-in's bytes.
constexpr char kFenceMark = '\x1d';
constexpr char kFenceName[] = "pdu-host-fence:";
constexpr std::size_t kMaxFenceBody = sizeof kFenceName + 20;
// A line longer than this without a newline is passed on in pieces.
constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::chrono::seconds kSyncBound{10};

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

bool IsAddressChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == ':' || c == '-' ||
         c == '_' || c == '[' || c == ']';
}

// `line` names `address` as a whole word, not as part of a longer one
// ("127.0.0.1:1" is not named by "127.0.0.1:16161").
bool NamesAddress(const std::string& line, const std::string& address) {
  for (std::size_t at = line.find(address); at != std::string::npos;
       at = line.find(address, at + 1)) {
    const std::size_t end = at + address.size();
    if ((at == 0 || !IsAddressChar(line[at - 1])) &&
        (end == line.size() || !IsAddressChar(line[end]))) {
      return true;
    }
  }
  return false;
}

// The fence number of a token body "pdu-host-fence:N".
std::optional<std::uint64_t> FenceNumber(const std::string& body) {
  const std::size_t name = sizeof kFenceName - 1;
  if (body.compare(0, name, kFenceName) != 0 || body.size() == name) return std::nullopt;
  std::uint64_t number = 0;
  for (std::size_t i = name; i < body.size(); ++i) {
    if (body[i] < '0' || body[i] > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(body[i] - '0');
  }
  return number;
}

// If the process dies while capturing, what the pipes still hold (the
// plug-in's last lines, an abort message) is written raw to the saved
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

ConsoleCapture::ConsoleCapture(std::vector<Device> devices, Observer observer)
    : devices_(std::move(devices)), observer_(std::move(observer)) {
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
  char buffer[16 * 1024];
  const auto drain = [&](Stream& stream) {
    for (;;) {
      const ssize_t n = ::read(stream.read_fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n == 0;  // true: the end of the pipe
      stream.pending.append(buffer, static_cast<std::size_t>(n));
      Consume(stream);
    }
  };
  bool out_open = true;
  bool err_open = true;
  for (;;) {
    pollfd waits[3] = {{out_open ? out_.read_fd : -1, POLLIN, 0},
                       {err_open ? err_.read_fd : -1, POLLIN, 0},
                       {stop_read_, POLLIN, 0}};
    if (::poll(waits, 3, -1) < 0 && errno != EINTR) break;
    if (waits[0].revents != 0 && drain(out_)) out_open = false;
    if (waits[1].revents != 0 && drain(err_)) err_open = false;
    if (waits[2].revents != 0) break;
  }
  if (out_open) drain(out_);
  if (err_open) drain(err_);
  for (Stream* stream : {&out_, &err_}) {
    if (!stream->pending.empty()) Emit(*stream, stream->pending);
    stream->pending.clear();
  }
}

void ConsoleCapture::Consume(Stream& stream) {
  std::string& text = stream.pending;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find_first_of(std::string("\n") + kFenceMark, from);
    if (at == std::string::npos) break;
    if (text[at] == '\n') {
      Emit(stream, text.substr(0, at));
      text.erase(0, at + 1);
      from = 0;
      continue;
    }
    const std::size_t end = text.find(kFenceMark, at + 1);
    if (end == std::string::npos) {
      if (text.size() - at <= kMaxFenceBody) break;  // the rest of a fence may follow
      from = at + 1;
      continue;
    }
    const std::optional<std::uint64_t> fence = FenceNumber(text.substr(at + 1, end - at - 1));
    if (!fence) {
      from = at + 1;
      continue;
    }
    text.erase(at, end - at + 1);  // what came before it may be half a line
    from = at;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stream.fences.insert(*fence);
    }
    fence_read_.notify_all();
  }
  if (text.size() > kMaxLine) {
    Emit(stream, text);
    text.clear();
  }
}

void ConsoleCapture::Emit(const Stream& stream, const std::string& line) {
  const std::optional<unsigned int> id = Attribute(line);
  if (id && observer_) observer_(*id, line);
  const std::string marked =
      (id ? "[device " + std::to_string(*id) + "] " : std::string("[plug-in] ")) + line + "\n";
  if (stream.is_error) {
    WriteErr(marked);
  } else {
    WriteOut(marked);
  }
}

std::optional<unsigned int> ConsoleCapture::Attribute(const std::string& line) {
  std::set<unsigned int> named;
  const std::optional<unsigned int> data_id = NamedDataId(line);
  for (const Device& device : devices_) {
    if (data_id == device.id ||
        (!data_id && !device.address.empty() && NamesAddress(line, device.address))) {
      named.insert(device.id);
    }
  }
  if (named.size() == 1) return *named.begin();
  std::lock_guard<std::mutex> lock(mutex_);
  if (calling_) {
    const bool alone = running_.empty() || (running_.size() == 1 && running_.count(*calling_));
    if (alone && (named.empty() || named.count(*calling_) != 0)) return calling_;
    return std::nullopt;
  }
  if (running_.size() == 1 && (named.empty() || named.count(*running_.begin()) != 0)) {
    return *running_.begin();
  }
  return std::nullopt;
}

void ConsoleCapture::Sync() {
  if (!reader_.joinable() || saved_out_ < 0) return;
  std::uint64_t fence = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fence = ++next_fence_;
  }
  const std::string token =
      kFenceMark + std::string(kFenceName) + std::to_string(fence) + kFenceMark;
  WriteAll(STDOUT_FILENO, token);
  WriteAll(STDERR_FILENO, token);
  std::unique_lock<std::mutex> lock(mutex_);
  fence_read_.wait_for(lock, kSyncBound, [&] {
    return out_.fences.count(fence) != 0 && err_.fences.count(fence) != 0;
  });
  out_.fences.erase(fence);
  err_.fences.erase(fence);
}

void ConsoleCapture::SetCalling(std::optional<unsigned int> id) {
  Sync();
  std::lock_guard<std::mutex> lock(mutex_);
  calling_ = id;
  if (!id) return;
  for (const Device& device : devices_) {
    if (device.id == *id && device.threaded) running_.insert(*id);
  }
}

void ConsoleCapture::Stopped(unsigned int id) {
  Sync();
  std::lock_guard<std::mutex> lock(mutex_);
  running_.erase(id);
}

ConsoleCapture::Call::Call(ConsoleCapture& capture, unsigned int id) : capture_(capture) {
  capture_.SetCalling(id);
}

ConsoleCapture::Call::~Call() { capture_.SetCalling(std::nullopt); }

}  // namespace pdu_host
