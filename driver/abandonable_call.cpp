#include "driver/abandonable_call.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/sized_thread.h"

namespace pdu {
namespace {

// A helper needs what the work needs; a name lookup ran on the sampling
// thread's 512 KiB before it had a thread of its own.
constexpr std::size_t kHelperStackBytes = 512 * 1024;

struct Helper {
  std::function<void()> work;
  std::function<void()> discard;
  WakeEvent done;  // signalled once work (and discard, if due) has returned
  std::mutex mutex;
  bool finished = false;   // guarded by mutex
  bool abandoned = false;  // guarded by mutex
  SizedThread thread;      // joined by whoever owns the Helper last

  bool Finished() {
    std::lock_guard<std::mutex> lock(mutex);
    return finished;
  }
};

void RunHelper(Helper& helper) {
  helper.work();
  bool abandoned;
  {
    std::lock_guard<std::mutex> lock(helper.mutex);
    helper.finished = true;
    abandoned = helper.abandoned;
  }
  if (abandoned) helper.discard();
  helper.done.Signal();
}

// Helpers whose callers stopped waiting for them.
class LeftBehind {
 public:
  // Joins every helper still held, working or not.
  ~LeftBehind() = default;

  void Adopt(std::shared_ptr<Helper> helper) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto finished = [](const std::shared_ptr<Helper>& held) {
      if (!held->Finished()) return false;
      held->thread.join();
      return true;
    };
    helpers_.erase(std::remove_if(helpers_.begin(), helpers_.end(), finished), helpers_.end());
    helpers_.push_back(std::move(helper));
  }

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<Helper>> helpers_;
};

// Destroyed, and its helpers joined, when the plug-in is unloaded.
LeftBehind& Helpers() {
  static LeftBehind helpers;
  return helpers;
}

}  // namespace

bool RunAbandonable(std::function<void()> work, std::function<void()> discard, WakeWatch& wake) {
  if (wake.fd < 0) {
    work();
    return true;
  }
  // Without a descriptor or a thread to spare, only this caller's stop waits for the work.
  std::shared_ptr<Helper> helper;
  try {
    helper = std::make_shared<Helper>();
  } catch (const std::system_error&) {
    work();
    return true;
  }
  helper->work = std::move(work);
  helper->discard = std::move(discard);
  try {
    helper->thread.Start(kHelperStackBytes, [raw = helper.get()] { RunHelper(*raw); });
  } catch (const std::system_error&) {
    helper->work();
    return true;
  }

  for (;;) {
    pollfd waits[] = {{helper->done.fd(), POLLIN, 0}, {wake.fd, POLLIN, 0}};
    const nfds_t count = wake.fd >= 0 ? 2 : 1;
    const int ready = poll(waits, count, -1);
    if (ready < 0 && errno != EINTR) break;  // cannot wait on descriptors: wait for the helper
    if (ready <= 0) continue;
    if (waits[0].revents != 0) break;
    if (count == 2 && wake.Stopped(waits[1].revents)) {
      bool finished;
      {
        std::lock_guard<std::mutex> lock(helper->mutex);
        finished = helper->finished;
        helper->abandoned = !finished;
      }
      if (!finished) {
        Helpers().Adopt(std::move(helper));
        return false;
      }
      helper->thread.join();
      helper->discard();
      return false;
    }
  }
  helper->thread.join();
  return true;
}

}  // namespace pdu
