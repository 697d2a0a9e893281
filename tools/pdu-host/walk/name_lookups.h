// Name look-ups for many walks side by side, outside any lock: a few
// threads, each looking up one walk's target at a time (target_lookup.h:
// once per name, as long as the system's resolver takes), and for a target
// that does not resolve also saying what else is wrong with the address
// (address_check.h, without looking it up again). A target it does not
// handle is made into its transport there by net-snmp (pdu::CreateTransport),
// as before.
//
// The thread that polls (walk_engine.h) learns of finished look-ups through
// wake_fd(), which becomes readable, and takes them with TakeFinished().
// Threads start with the first look-ups, at most kLookupThreads of them.
// The destructor does not wait for a look-up under way: such a thread is
// left behind (detached), holding with the destructor's caller only the
// queue's shared state, which it frees when its look-up returns; idle
// threads end at once. Everything but the look-ups runs on the owner's
// thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "configuration/address_check.h"
#include "driver/snmp/netsnmp.h"

namespace pdu_host {

inline constexpr std::size_t kLookupThreads = 16;

class NameLookups {
 public:
  struct Lookup {
    std::size_t key = 0;                     // the caller's
    std::string target;                      // from pdu::PeerTarget
    int local_port = 0;                      // the session's
    std::string address;                     // as configured, for the findings
    std::string numeric;                     // the target, its name looked up
    netsnmp_transport* transport = nullptr;  // made here for a target not looked up here
    int error = 0;                           // errno after a failure
    std::vector<AddressFinding> findings;    // after a failure
    // Neither `numeric` nor `transport`: the target cannot be used.
  };

  NameLookups();  // throws std::system_error when no descriptor can be had
  ~NameLookups();
  NameLookups(const NameLookups&) = delete;
  NameLookups& operator=(const NameLookups&) = delete;

  // Queues a look-up (key, target, local_port and address set).
  void Submit(Lookup lookup);
  // Readable while finished look-ups wait to be taken.
  int wake_fd() const;
  // The look-ups finished since the last call; their transports are the
  // caller's.
  std::vector<Lookup> TakeFinished();

 private:
  struct Shared;
  // A look-up thread's life; it shares `shared` with the owner.
  static void Work(const std::shared_ptr<Shared>& shared);

  std::shared_ptr<Shared> shared_;
};

}  // namespace pdu_host
