#include "support/stack_probe.h"

#include <pthread.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace stack_probe {
namespace {

constexpr unsigned char kPattern = 0xA5;

struct Probe {
  const std::function<void()>* work;
  const unsigned char* stack;  // lowest address
  std::size_t stack_bytes;
  std::size_t untouched = 0;
};

// Counts the untouched bytes from the stack's low end (it grows down) on the
// probed thread itself, before its exit: some C libraries hand the unused
// part of a finished thread's stack back to the kernel, which zeroes it.
void* RunWork(void* argument) {
  Probe& probe = *static_cast<Probe*>(argument);
  (*probe.work)();
  while (probe.untouched < probe.stack_bytes && probe.stack[probe.untouched] == kPattern) {
    ++probe.untouched;
  }
  return nullptr;
}

void ThrowIf(int error, const char* what) {
  if (error != 0) throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

std::size_t DeepestStackUse(std::size_t stack_bytes, const std::function<void()>& work) {
  void* stack = mmap(nullptr, stack_bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED) ThrowIf(errno, "mmap");
  std::memset(stack, kPattern, stack_bytes);

  Probe probe{&work, static_cast<const unsigned char*>(stack), stack_bytes};
  pthread_attr_t attributes;
  pthread_t thread;
  int error = pthread_attr_init(&attributes);
  if (error == 0) {
    error = pthread_attr_setstack(&attributes, stack, stack_bytes);
    if (error == 0) {
      error = pthread_create(&thread, &attributes, &RunWork, &probe);
    }
    pthread_attr_destroy(&attributes);
  }
  if (error == 0) pthread_join(thread, nullptr);

  munmap(stack, stack_bytes);
  ThrowIf(error, "pthread_create");
  return stack_bytes - probe.untouched;
}

std::size_t CurrentThreadStackBytes() {
  pthread_attr_t attributes;
  std::size_t bytes = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
  pthread_attr_getstacksize(&attributes, &bytes);
  pthread_attr_destroy(&attributes);
  return bytes;
}

}  // namespace stack_probe
