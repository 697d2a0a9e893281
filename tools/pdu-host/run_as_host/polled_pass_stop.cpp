#include "run_as_host/polled_pass_stop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "common/interruption.h"
#include "console/thread_device.h"

namespace pdu_host {

PolledPassStop::PolledPassStop() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe for the polled pass's stop");
  }
  stop_read_ = ends[0];
  stop_write_ = ends[1];
  try {
    watcher_ = std::thread([this] { Watch(); });
  } catch (...) {
    ::close(stop_read_);
    ::close(stop_write_);
    throw;
  }
}

PolledPassStop::~PolledPassStop() {
  const char stop = 'x';
  while (::write(stop_write_, &stop, 1) < 0 && errno == EINTR) {
  }
  watcher_.join();
  ::close(stop_read_);
  ::close(stop_write_);
}

void PolledPassStop::Watch() {
  for (;;) {
    pollfd waits[2] = {{stop_read_, POLLIN, 0}, {InterruptWakeFd(), POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0 && errno != EINTR) return;
    if (waits[0].revents != 0) return;
    if (waits[1].revents != 0) break;
  }
  std::unique_ptr<QTXSocketDevice> doomed;
  unsigned int id = 0;
  {
    const pdu::MutexLock lock(mutex_);
    if (device_ == nullptr) return;
    doomed = std::move(*device_);
    id = id_;
  }
  const DeviceCall call(id);  // what it writes while it goes is its own
  doomed.reset();
}

PolledPassStop::Pass::Pass(PolledPassStop& stop, std::unique_ptr<QTXSocketDevice>& device,
                           unsigned int id)
    : stop_(stop) {
  const pdu::MutexLock lock(stop_.mutex_);
  stop_.device_ = &device;
  stop_.id_ = id;
}

PolledPassStop::Pass::~Pass() {
  const pdu::MutexLock lock(stop_.mutex_);
  stop_.device_ = nullptr;
}

}  // namespace pdu_host
