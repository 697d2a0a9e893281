#include "driver/wake_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeEvent::~WakeEvent() {
  const int fd = fd_;
  if (fd >= 0) close(fd);
}

void WakeEvent::Signal() {
  const int fd = fd_;
  if (fd < 0) return;
  const std::uint64_t one = 1;
  // Non-blocking: a counter that is already huge is signalled anyway.
  [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
}

bool WakeWatch::Stopped(short revents) {
  if (fd < 0 || revents == 0) return false;
  if ((revents & POLLIN) != 0 && stop != nullptr && *stop) return true;
  fd = -1;
  lost = true;
  return false;
}
