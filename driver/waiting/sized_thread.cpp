#include "driver/waiting/sized_thread.h"

#include <system_error>
#include <utility>

namespace pdu {

SizedThread::~SizedThread() {
  if (running_) join();
}

void SizedThread::Start(std::size_t stack_bytes, std::function<void()> body) {
  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error != 0) throw std::system_error(error, std::generic_category());
  error = pthread_attr_setstacksize(&attributes, stack_bytes);
  if (error == 0) {
    body_ = std::move(body);
    error = pthread_create(&handle_, &attributes, &SizedThread::Run, this);
  }
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    body_ = nullptr;
    throw std::system_error(error, std::generic_category());
  }
  running_ = true;
}

bool SizedThread::IsCurrentThread() const {
  return running_ && pthread_equal(handle_, pthread_self()) != 0;
}

void SizedThread::join() {
  if (!running_) return;
  if (IsCurrentThread()) {
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
  }
  pthread_join(handle_, nullptr);
  running_ = false;
}

void SizedThread::detach() {
  if (!running_) return;
  pthread_detach(handle_);
  running_ = false;
}

// An exception escaping the body ends the process, as with std::thread.
void* SizedThread::Run(void* self) noexcept {
  const std::function<void()> body = std::move(static_cast<SizedThread*>(self)->body_);
  body();
  return nullptr;
}

}  // namespace pdu
