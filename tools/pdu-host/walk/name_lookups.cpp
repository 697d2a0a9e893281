#include "walk/name_lookups.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

#include "driver/peer_transport.h"

namespace pdu_host {

NameLookups::NameLookups() : wake_fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (wake_fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

NameLookups::~NameLookups() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  for (Lookup& lookup : finished_) pdu::DiscardTransport(lookup.transport);
  ::close(wake_fd_);
}

void NameLookups::Submit(Lookup lookup) {
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.push_back(std::move(lookup));
  if (idle_ == 0 && threads_.size() < kLookupThreads) {
    threads_.emplace_back([this] { Work(); });
  } else {
    queued_.notify_one();
  }
}

std::vector<NameLookups::Lookup> NameLookups::TakeFinished() {
  std::uint64_t count = 0;
  while (::read(wake_fd_, &count, sizeof count) < 0 && errno == EINTR) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(finished_, {});
}

void NameLookups::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    queued_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    --idle_;
    if (stopping_) return;
    Lookup lookup = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    try {
      lookup.transport = pdu::CreateTransport(lookup.target, lookup.local_port);
      lookup.error = errno;
      if (lookup.transport == nullptr) lookup.findings = AddressFindings(lookup.address);
    } catch (const std::bad_alloc&) {
      lookup.error = ENOMEM;  // the walk says "cannot open" with net-snmp's words for it
    }
    lock.lock();
    finished_.push_back(std::move(lookup));
    const std::uint64_t one = 1;
    // Cannot fail short of 2^64 - 1 unread wake-ups.
    [[maybe_unused]] const ssize_t written = ::write(wake_fd_, &one, sizeof one);
  }
}

}  // namespace pdu_host
