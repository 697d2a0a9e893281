#include "support/slow_names.h"

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

namespace {
std::mutex mutex;
std::condition_variable released_changed;
bool released = false;  // guarded by mutex
}  // namespace

void slow_names::ReleaseSlowNames() {
  std::lock_guard<std::mutex> lock(mutex);
  released = true;
  released_changed.notify_all();
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  static auto* const next =
      reinterpret_cast<decltype(&getaddrinfo)>(dlsym(RTLD_NEXT, "getaddrinfo"));
  const std::size_t digits = node == nullptr ? 0 : std::strspn(node, "0123456789");
  if (digits > 0 && digits <= 6 && std::strcmp(node + digits, ".slow.test") == 0) {
    std::unique_lock<std::mutex> lock(mutex);
    released_changed.wait_for(lock, std::chrono::milliseconds(std::stol(std::string(node, digits))),
                              [] { return released; });
    node = "127.0.0.1";
  }
  return next(node, service, hints, result);
}
