#include "driver/waiting/wake_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace pdu {

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  struct stat file;
  if (fstat(fd_, &file) == 0) {
    device_ = file.st_dev;
    inode_ = file.st_ino;
  }
}

WakeEvent::~WakeEvent() {
  const int fd = fd_;
  if (fd >= 0 && StillOurs(fd)) close(fd);
}

bool WakeEvent::StillOurs(int fd) const {
  struct stat file;
  return fstat(fd, &file) == 0 && file.st_dev == device_ && file.st_ino == inode_;
}

void WakeEvent::Signal() {
  const int fd = fd_;
  if (fd < 0 || !StillOurs(fd)) return;
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

}  // namespace pdu
