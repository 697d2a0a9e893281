#include "support/slow_names.h"

#include <dlfcn.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

namespace {
// Never destroyed: a look-up still waiting when the process exits must not
// hold up its exit (glibc's condition variable waits for its waiters).
std::mutex& mutex = *new std::mutex;
std::condition_variable& released_changed = *new std::condition_variable;
bool released = false;  // guarded by mutex
std::atomic<int> begun{0};
std::atomic<int> returned{0};
}  // namespace

void slow_names::ReleaseSlowNames() {
  std::lock_guard<std::mutex> lock(mutex);
  released = true;
  released_changed.notify_all();
}

int slow_names::SlowLookupsBegun() { return begun; }
int slow_names::SlowLookupsReturned() { return returned; }

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  static auto* const next =
      reinterpret_cast<decltype(&getaddrinfo)>(dlsym(RTLD_NEXT, "getaddrinfo"));
  const std::size_t digits = node == nullptr ? 0 : std::strspn(node, "0123456789");
  const bool v4 = digits > 0 && digits <= 6 && std::strcmp(node + digits, ".slow.test") == 0;
  const bool v6 = digits > 0 && digits <= 6 && std::strcmp(node + digits, ".slow6.test") == 0;
  const bool none = digits > 0 && digits <= 6 && std::strcmp(node + digits, ".nowhere.test") == 0;
  if (!v4 && !v6 && !none) return next(node, service, hints, result);
  ++begun;
  {
    std::unique_lock<std::mutex> lock(mutex);
    released_changed.wait_for(lock, std::chrono::milliseconds(std::stol(std::string(node, digits))),
                              [] { return released; });
  }
  // Needs the dynamic loader's lock, which dlclose holds while it unloads.
  if (void* library = dlopen("libm.so.6", RTLD_NOW)) dlclose(library);
  const int status = none ? EAI_NONAME : next(v4 ? "127.0.0.1" : "::1", service, hints, result);
  ++returned;
  return status;
}
