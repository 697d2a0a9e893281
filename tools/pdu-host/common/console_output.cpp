#include "common/console_output.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <string>

#include "device/thread_safety.h"

namespace pdu_host {
namespace {

pdu::Mutex& OutputMutex() {
  static pdu::Mutex mutex;
  return mutex;
}

int out_fd PDU_GUARDED_BY(OutputMutex()) = STDOUT_FILENO;
int err_fd PDU_GUARDED_BY(OutputMutex()) = STDERR_FILENO;
std::atomic<int> err_fd_seen{STDERR_FILENO};  // err_fd, for a signal handler

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to write to: nothing better to do
    done += static_cast<std::size_t>(n);
  }
}

void Write(bool error, const std::string& text) {
  const pdu::MutexLock lock(OutputMutex());
  WriteAll(error ? err_fd : out_fd, text);
}

}  // namespace

void WriteOut(const std::string& text) { Write(false, text); }
void WriteErr(const std::string& text) { Write(true, text); }

void SetOwnDescriptors(int out, int err) {
  const pdu::MutexLock lock(OutputMutex());
  out_fd = out;
  err_fd = err;
  err_fd_seen = err;
}

int OwnErrorDescriptor() { return err_fd_seen.load(); }

}  // namespace pdu_host
