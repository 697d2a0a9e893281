#include "console/in_process_console.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "console/thread_device.h"
#include "device/thread_safety.h"

namespace pdu_host {
namespace {

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size != 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// Gathers each thread's bytes into lines and hands them on; with no handler,
// passes bytes straight to the descriptor.
class LineGatherer {
 public:
  void Write(bool is_error, const char* data, std::size_t size) PDU_NO_THREAD_SAFETY_ANALYSIS {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!handler_) {
      lock.unlock();
      WriteAll(is_error ? STDERR_FILENO : STDOUT_FILENO, data, size);
      return;
    }
    std::string& pending = pending_[{std::this_thread::get_id(), is_error}];
    pending.append(data, size);
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      Hand({is_error, ThreadDevice(), pending.substr(start, end - start)});
    }
    pending.erase(0, start);
    if (pending.size() > InProcessConsole::kMaxLine) {
      Hand({is_error, ThreadDevice(), std::exchange(pending, {})});
    }
    if (pending.empty()) pending_.erase({std::this_thread::get_id(), is_error});
  }

  void Install(InProcessConsole::Handler handler) {
    const pdu::MutexLock lock(mutex_);
    handler_ = std::move(handler);
  }

  // Unfinished lines are handed on as they are, as if from no device: the
  // thread that wrote them is not the one giving the console back.
  void Uninstall() {
    const pdu::MutexLock lock(mutex_);
    for (const auto& [key, pending] : pending_) Hand({key.second, std::nullopt, pending});
    pending_.clear();
    handler_ = nullptr;
  }

 private:
  // Lines reach the handler one at a time; it must not write to the streams it gathers.
  void Hand(const WrittenLine& line) PDU_REQUIRES(mutex_) {
    try {
      handler_(line);
    } catch (...) {
      // A line that cannot be passed on is lost; the writer goes on.
    }
  }

  pdu::Mutex mutex_;
  InProcessConsole::Handler handler_ PDU_GUARDED_BY(mutex_);
  std::map<std::pair<std::thread::id, bool>, std::string> pending_ PDU_GUARDED_BY(mutex_);
};

LineGatherer& Gatherer() {
  static auto* const gatherer = new LineGatherer;  // never destroyed: see the header
  return *gatherer;
}

// An unbuffered stream buffer: every byte goes to the gatherer at once.
class GatheringBuffer : public std::streambuf {
 public:
  explicit GatheringBuffer(bool is_error) : is_error_(is_error) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    Gatherer().Write(is_error_, &byte, 1);
    return c;
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    Gatherer().Write(is_error_, data, static_cast<std::size_t>(size));
    return size;
  }

 private:
  const bool is_error_;
};

ssize_t WriteCookie(void* cookie, const char* data, std::size_t size) {
  Gatherer().Write(cookie != nullptr, data, size);
  return static_cast<ssize_t>(size);
}

// C's replacement stream: unbuffered, so each call's bytes reach the
// gatherer inside the call, on the writing thread.
std::FILE* OpenGatheringFile(bool is_error) {
  cookie_io_functions_t functions{};
  functions.write = WriteCookie;
  static int error_cookie = 0;
  std::FILE* file = ::fopencookie(is_error ? &error_cookie : nullptr, "w", functions);
  if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

struct GatheringStreams {
  GatheringBuffer out{false};
  GatheringBuffer err{true};
  std::FILE* c_out = OpenGatheringFile(false);
  std::FILE* c_err = OpenGatheringFile(true);
};

GatheringStreams& Streams() {
  static auto* const streams = new GatheringStreams;  // never destroyed: see the header
  return *streams;
}

}  // namespace

InProcessConsole::InProcessConsole(Handler handler) {
  GatheringStreams& streams = Streams();
  if (streams.c_out == nullptr || streams.c_err == nullptr) {
    throw std::runtime_error("cannot make the replacement for C's standard streams");
  }
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  Gatherer().Install(std::move(handler));
  cout_before_ = std::cout.rdbuf(&streams.out);
  cerr_before_ = std::cerr.rdbuf(&streams.err);
  clog_before_ = std::clog.rdbuf(&streams.err);
  stdout_before_ = std::exchange(stdout, streams.c_out);
  stderr_before_ = std::exchange(stderr, streams.c_err);
}

InProcessConsole::~InProcessConsole() {
  stdout = stdout_before_;
  stderr = stderr_before_;
  std::cout.rdbuf(cout_before_);
  std::cerr.rdbuf(cerr_before_);
  std::clog.rdbuf(clog_before_);
  Gatherer().Uninstall();
}

}  // namespace pdu_host
