#include "console/thread_device.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cerrno>
#include <new>
#include <optional>

namespace pdu_host {
namespace {

thread_local std::optional<unsigned int> thread_device;

// What a thread created for a device starts with.
struct TaggedStart {
  void* (*routine)(void*);
  void* argument;
  unsigned int device;
};

void* StartForDevice(void* raw) {
  const TaggedStart start = *static_cast<TaggedStart*>(raw);
  delete static_cast<TaggedStart*>(raw);
  thread_device = start.device;
  return start.routine(start.argument);
}

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

// The C library's pthread_create (or a sanitizer's, which calls it).
CreateFunction NextCreate() {
  static const auto next = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
  return next;
}

}  // namespace

std::optional<unsigned int> ThreadDevice() { return thread_device; }

DeviceCall::DeviceCall(unsigned int id) : previous_(thread_device) { thread_device = id; }

DeviceCall::~DeviceCall() { thread_device = previous_; }

}  // namespace pdu_host

// Every pthread_create of the process comes here first: the executable
// exports it, so the dynamic loader binds the libraries' calls to it.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*routine)(void*), void* argument) noexcept {
  const pdu_host::CreateFunction next = pdu_host::NextCreate();
  if (next == nullptr) return EAGAIN;
  if (!pdu_host::thread_device) return next(thread, attributes, routine, argument);
  auto* start =
      new (std::nothrow) pdu_host::TaggedStart{routine, argument, *pdu_host::thread_device};
  if (start == nullptr) return EAGAIN;
  const int error = next(thread, attributes, pdu_host::StartForDevice, start);
  if (error != 0) delete start;
  return error;
}
