// SizedThread: a joinable thread with an explicit stack size.
//
// std::thread gives every thread the process's default stack reservation
// (8 MiB with the usual ulimit -s); in a 32-bit process that caps the number
// of threads at a few hundred. Otherwise this behaves like std::thread: one
// owner starts it once and joins or detaches it before destroying it. The
// body is the running thread's own: it is destroyed on that thread when it
// returns, so it may hold what owns the SizedThread.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace pdu {

class SizedThread {
 public:
  SizedThread() = default;
  // Joins a thread that was started and not joined yet.
  ~SizedThread();
  SizedThread(const SizedThread&) = delete;
  SizedThread& operator=(const SizedThread&) = delete;

  // Runs `body` on a new thread with a stack of `stack_bytes`. Throws
  // std::system_error as std::thread does (e.g. "Resource temporarily
  // unavailable") when the thread cannot be created; nothing is kept then.
  void Start(std::size_t stack_bytes, std::function<void()> body);
  bool joinable() const { return running_; }
  // True on the thread itself, while it runs.
  bool IsCurrentThread() const;
  // Waits for the body to return; nothing when no thread runs. Throws
  // std::system_error (resource_deadlock_would_occur) on the thread itself,
  // as std::thread does.
  void join();
  // Lets the thread run on and end on its own; nothing when no thread runs.
  void detach();

 private:
  static void* Run(void* self) noexcept;

  std::function<void()> body_;
  pthread_t handle_{};
  bool running_ = false;
};

}  // namespace pdu
