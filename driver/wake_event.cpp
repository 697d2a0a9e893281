#include "driver/wake_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeEvent::~WakeEvent() { close(fd_); }

void WakeEvent::Signal() {
  const std::uint64_t one = 1;
  // Non-blocking: a counter that is already huge is signalled anyway.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}
