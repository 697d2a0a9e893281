// WakeEvent: a descriptor that one thread signals to end another's wait.
//
// Once Signal() has been called the descriptor stays readable for good, so
// every later wait on it returns at once: a stop cannot be missed, whether
// the waiter was already waiting or starts waiting afterwards.
#pragma once

class WakeEvent {
 public:
  // Opens the descriptor; throws std::system_error when it cannot.
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Readable after Signal(); for poll or select.
  int fd() const { return fd_; }
  // Safe from any thread, any number of times.
  void Signal();

 private:
  int fd_;
};
