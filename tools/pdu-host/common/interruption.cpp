#include "common/interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace pdu_host {
namespace {

std::atomic<int> caught{0};
std::atomic<int> wake_read{-1};
std::atomic<int> wake_write{-1};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

// Async-signal-safe: an atomic store and a write, errno kept.
void OnInterrupt(int signal) {
  const int saved = errno;
  int none = 0;
  caught.compare_exchange_strong(none, signal);
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_write.load(), &byte, 1);
  errno = saved;
}

}  // namespace

void CatchInterrupts() {
  if (wake_read.load() >= 0) return;
  int ends[2];
  if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe for Ctrl-C");
  }
  wake_write = ends[1];
  wake_read = ends[0];
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Calls under way go on (SA_RESTART); the second signal has its default effect.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (const int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &action, nullptr);
}

int Interrupted() { return caught.load(); }

int InterruptWakeFd() { return wake_read.load(); }

const char* InterruptName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "a signal";
  }
}

}  // namespace pdu_host
