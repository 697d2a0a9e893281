#include "common/interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <string>
#include <system_error>

#include "common/console_output.h"
#include "common/exit_status.h"

namespace pdu_host {
namespace {

std::atomic<int> caught{0};
std::atomic<int> wake_read{-1};
std::atomic<int> wake_write{-1};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

// The handler's words, set before it is installed (or while it cannot run:
// under the mask). On a terminal the line first erases a progress line.
char finishing_words[512] = "";
bool on_terminal = false;

// Async-signal-safe: write only.
void Say(int fd, const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  [[maybe_unused]] const ssize_t written = ::write(fd, text, length);
}

void OnInterrupt(int signal) {
  const int saved = errno;
  const int fd = OwnErrorDescriptor();
  if (on_terminal) Say(fd, "\r\033[K");
  Say(fd, "pdu-host: ");
  Say(fd, InterruptName(signal));
  int none = 0;
  if (!caught.compare_exchange_strong(none, signal)) {
    Say(fd, " again: quitting at once, without the rest of the output\n");
    ::_exit(kExitInterrupted);
  }
  Say(fd, ": ");
  Say(fd, finishing_words);
  Say(fd, "\n");
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_write.load(), &byte, 1);
  errno = saved;
}

}  // namespace

void CatchInterrupts(const std::string& finishing) {
  sigset_t interrupts;
  sigset_t before;
  sigemptyset(&interrupts);
  sigaddset(&interrupts, SIGINT);
  sigaddset(&interrupts, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &interrupts, &before);
  finishing.copy(finishing_words, sizeof finishing_words - 1);
  finishing_words[std::min(finishing.size(), sizeof finishing_words - 1)] = '\0';
  on_terminal = ::isatty(OwnErrorDescriptor()) == 1;
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
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
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  // Calls under way go on (SA_RESTART).
  action.sa_flags = SA_RESTART;
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
