#include "walk/name_lookups.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "driver/snmp/peer_transport.h"
#include "walk/target_lookup.h"

namespace pdu_host {

struct NameLookups::Shared {
  int wake_fd = -1;
  pdu::Mutex mutex;
  std::condition_variable queued;
  std::deque<Lookup> waiting PDU_GUARDED_BY(mutex);
  std::vector<Lookup> finished PDU_GUARDED_BY(mutex);
  std::size_t threads PDU_GUARDED_BY(mutex) = 0;
  std::size_t idle PDU_GUARDED_BY(mutex) = 0;
  bool stopping PDU_GUARDED_BY(mutex) = false;

  ~Shared() {
    for (Lookup& lookup : finished) {
      const pdu::MutexLock lock(pdu::NetSnmpMutex());
      pdu::DiscardTransport(lookup.transport);
    }
    ::close(wake_fd);
  }
};

namespace {

void LookUp(NameLookups::Lookup& lookup) {
  const TargetLookup looked = LookUpTarget(lookup.target);
  if (looked.handled) {
    lookup.numeric = looked.numeric;
    if (looked.unresolved) {
      lookup.findings = AddressFindings(lookup.address, /*look_up_name=*/false);
      lookup.findings.insert(lookup.findings.begin(), *looked.unresolved);
    }
    return;
  }
  lookup.transport = pdu::CreateTransport(lookup.target, lookup.local_port);
  lookup.error = errno;
  if (lookup.transport == nullptr) lookup.findings = AddressFindings(lookup.address);
}

}  // namespace

void NameLookups::Work(const std::shared_ptr<Shared>& shared) PDU_NO_THREAD_SAFETY_ANALYSIS {
  std::unique_lock<std::mutex> lock(shared->mutex);
  for (;;) {
    ++shared->idle;
    shared->queued.wait(lock, [&]() PDU_REQUIRES(shared->mutex) {
      return shared->stopping || !shared->waiting.empty();
    });
    --shared->idle;
    if (shared->stopping) break;
    Lookup lookup = std::move(shared->waiting.front());
    shared->waiting.pop_front();
    lock.unlock();
    try {
      LookUp(lookup);
    } catch (const std::bad_alloc&) {
      lookup.error = ENOMEM;  // the walk says "cannot open" with net-snmp's words for it
    }
    lock.lock();
    if (shared->stopping) {
      // Left behind: nobody takes it.
      const pdu::MutexLock library(pdu::NetSnmpMutex());
      pdu::DiscardTransport(lookup.transport);
      break;
    }
    shared->finished.push_back(std::move(lookup));
    const std::uint64_t one = 1;
    // Cannot fail short of 2^64 - 1 unread wake-ups.
    [[maybe_unused]] const ssize_t written = ::write(shared->wake_fd, &one, sizeof one);
  }
  --shared->threads;
}

NameLookups::NameLookups() : shared_(std::make_shared<Shared>()) {
  shared_->wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (shared_->wake_fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

NameLookups::~NameLookups() {
  {
    const pdu::MutexLock lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->queued.notify_all();
}

int NameLookups::wake_fd() const { return shared_->wake_fd; }

void NameLookups::Submit(Lookup lookup) {
  const pdu::MutexLock lock(shared_->mutex);
  shared_->waiting.push_back(std::move(lookup));
  if (shared_->idle == 0 && shared_->threads < kLookupThreads) {
    std::thread([shared = shared_] { Work(shared); }).detach();
    ++shared_->threads;
  } else {
    shared_->queued.notify_one();
  }
}

std::vector<NameLookups::Lookup> NameLookups::TakeFinished() {
  std::uint64_t count = 0;
  while (::read(shared_->wake_fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
  const pdu::MutexLock lock(shared_->mutex);
  return std::exchange(shared_->finished, {});
}

}  // namespace pdu_host
