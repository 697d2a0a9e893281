// WakeEvent: a descriptor that one thread signals to end another's wait,
// and WakeWatch: how a wait watches it.
//
// Once Signal() has been called the descriptor stays readable for good, so
// every later wait on it returns at once: a stop cannot be missed, whether
// the waiter was already waiting or starts waiting afterwards.
//
// The descriptor lives in a host process that may close or reuse a number
// it does not own. Signal() and the destructor therefore touch the number
// only while it still refers to the kind of file the event opened (an
// eventfd): a number reused for a socket, pipe or file is left alone (one
// reused for another eventfd cannot be told apart). And a watch counts the
// descriptor as a stop only when it is readable while the stop flag is set
// (whoever signals sets that flag first); when poll reports it closed or in
// error, or readable with no stop asked for, it is no longer the event's: the
// watch drops it and says so, instead of ending every wait at once.
#pragma once

#include <sys/types.h>

#include <atomic>

namespace pdu {

class WakeEvent {
 public:
  // Opens the descriptor; throws std::system_error when it cannot.
  WakeEvent();
  // Closes the descriptor unless it was disowned.
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Readable after Signal(); for poll. -1 once disowned.
  int fd() const { return fd_; }
  // Safe from any thread, any number of times; nothing once disowned.
  void Signal();
  // Forgets a descriptor found to be no longer this event's, so that it is
  // neither written to nor closed: its number may belong to someone else now.
  void Disown() { fd_ = -1; }

 private:
  // True while `fd` refers to a file like the one the event opened.
  bool StillOurs(int fd) const;

  std::atomic<int> fd_;
  dev_t device_ = 0;  // of the eventfd's file
  ino_t inode_ = 0;
};

struct WakeWatch {
  int fd = -1;                              // -1: nothing to watch
  const std::atomic<bool>* stop = nullptr;  // set before the event is signalled
  bool lost = false;                        // the descriptor was dropped

  // Judges what poll reported for `fd`: true for a stop. A descriptor that
  // is no longer the event's is dropped (fd -1, lost set).
  bool Stopped(short revents);
};

}  // namespace pdu
