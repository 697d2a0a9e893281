// Name lookups for many walks side by side, outside any lock: a small fixed
// pool of threads, each making the UDP transport of one walk's target at a
// time (pdu::CreateTransport, which looks the name up for as long as the
// system's resolver takes). When a transport cannot be made, the same thread
// also says what is wrong with the address (address_check.h), which may look
// the name up once more.
//
// The thread that polls (walk_engine.h) learns of finished lookups through
// wake_fd(), which becomes readable, and takes them with TakeFinished().
// Threads start with the first lookups, at most kLookupThreads of them; the
// destructor stops and joins them (a thread inside a lookup finishes it
// first: the resolver's own time-out bounds that) and closes the transports
// nobody took. Everything but Submit's lookups runs on the owner's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "configuration/address_check.h"
#include "driver/netsnmp.h"

namespace pdu_host {

inline constexpr std::size_t kLookupThreads = 16;

class NameLookups {
 public:
  struct Lookup {
    std::size_t key = 0;                     // the caller's
    std::string target;                      // from pdu::PeerTarget
    int local_port = 0;                      // the session's
    std::string address;                     // as configured, for the findings
    netsnmp_transport* transport = nullptr;  // null when it could not be made
    int error = 0;                           // errno after a failure
    std::vector<AddressFinding> findings;    // after a failure
  };

  NameLookups();  // throws std::system_error when no descriptor can be had
  ~NameLookups();
  NameLookups(const NameLookups&) = delete;
  NameLookups& operator=(const NameLookups&) = delete;

  // Queues a lookup (key, target, local_port and address set).
  void Submit(Lookup lookup);
  // Readable while finished lookups wait to be taken.
  int wake_fd() const { return wake_fd_; }
  // The lookups finished since the last call; their transports are the
  // caller's.
  std::vector<Lookup> TakeFinished();

 private:
  void Work();

  int wake_fd_ = -1;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Lookup> waiting_;
  std::vector<Lookup> finished_;
  std::size_t idle_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace pdu_host
