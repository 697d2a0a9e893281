#include "driver/waiting/abandonable_call.h"

#include <dlfcn.h>
#include <link.h>
#include <poll.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <system_error>
#include <utility>

#include "device/thread_safety.h"
#include "driver/waiting/sized_thread.h"

namespace pdu {
namespace {

// A helper needs what the work needs; a name lookup ran on the sampling
// thread's 512 KiB before it had a thread of its own.
constexpr std::size_t kHelperStackBytes = 512 * 1024;

struct Helper {
  std::function<void()> work;
  std::function<void()> discard;
  WakeEvent done;  // signalled once work (and discard, if due) has returned
  Mutex mutex;
  bool finished PDU_GUARDED_BY(mutex) = false;
  bool abandoned PDU_GUARDED_BY(mutex) = false;
  SizedThread thread;  // joined by the caller, or detached when it leaves the helper behind
};

void RunHelper(Helper& helper) {
  helper.work();
  bool abandoned;
  {
    const MutexLock lock(helper.mutex);
    helper.finished = true;
    abandoned = helper.abandoned;
  }
  if (abandoned) helper.discard();
  helper.done.Signal();
}

// True once the object holding this code is sure to stay mapped until the
// process ends: the main program, or a library opened once more with
// RTLD_NODELETE (a handle never closed). Its first call opens it.
bool KeepThisCodeLoaded() {
  static const bool kept = [] {
    Dl_info info;
    link_map* object = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&KeepThisCodeLoaded), &info,
                reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) == 0 ||
        object == nullptr) {
      return false;
    }
    if (object->l_name == nullptr || object->l_name[0] == '\0') return true;  // the main program
    return dlopen(object->l_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
  }();
  return kept;
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
    // The thread holds the helper until it ends, however long after its caller.
    helper->thread.Start(kHelperStackBytes, [helper] { RunHelper(*helper); });
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
      // Outside the helper's lock: the helper may hold the loader's lock meanwhile.
      const bool can_leave = KeepThisCodeLoaded();
      bool finished;
      {
        const MutexLock lock(helper->mutex);
        finished = helper->finished;
        helper->abandoned = !finished && can_leave;
      }
      if (!finished && can_leave) {
        helper->thread.detach();
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
