#include "walk_engine.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <exception>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <net-snmp/library/large_fd_set.h>

#include "address_check.h"
#include "driver/peer_transport.h"
#include "driver/walk_settings.h"
#include "interruption.h"
#include "name_lookups.h"
#include "table_walker.h"
#include "walk_session.h"

namespace pdu_host {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTick = std::chrono::milliseconds(250);
// net-snmp expires a request at its send time plus the session's time-out.
// Ours is taken after the send returns, and a millisecond later, so that by
// ours the library's has passed; net-snmp then sends the retry or gives up.
constexpr auto kTryTime =
    std::chrono::microseconds(pdu::kTimeoutMicroseconds) + std::chrono::milliseconds(1);

struct Walk {
  Walk(std::size_t position, const DeviceEntry& device)
      : index(position), entry(device), walker(device.address) {}

  const std::size_t index;
  const DeviceEntry& entry;
  TableWalker walker;
  const Clock::time_point started = Clock::now();
  void* session = nullptr;    // once opened, until the walk ends
  int fd = -1;                // the session's socket
  bool awaiting = false;      // a request is in flight
  bool retry_failed = false;  // net-snmp could not send its retry
  Clock::time_point deadline;
  bool finished = false;  // reported, to be dropped
  // What the lookup thread found wrong with the address, when the transport
  // could not be made there.
  std::optional<std::vector<AddressFinding>> lookup_findings;
  std::exception_ptr error;  // thrown inside net-snmp's callback
};

// net-snmp's message for the last error of a session, taken over from the
// library's allocation.
std::string SessionError(void* session) {
  char* message = nullptr;
  int library_error = 0;
  int system_error = 0;
  snmp_sess_error(session, &library_error, &system_error, &message);
  const std::unique_ptr<char, decltype(&std::free)> owner(message, &std::free);
  return message != nullptr ? message : "unknown error";
}

std::string OpenError(netsnmp_session& settings) {
  char* message = nullptr;
  int library_error = 0;
  int system_error = 0;
  snmp_error(&settings, &library_error, &system_error, &message);
  const std::unique_ptr<char, decltype(&std::free)> owner(message, &std::free);
  return message != nullptr ? message : "unknown error";
}

// An answer that is not a RESPONSE (a REPORT, or another PDU matched to the
// request) ends the walk here, as net-snmp's synchronous call ends the
// request: as a failed request, in the library's words.
void EndOnOtherAnswer(Walk& walk, netsnmp_session& session, netsnmp_pdu& answer) {
  if (answer.command == SNMP_MSG_REPORT) {
    session.s_snmp_errno = snmpv3_get_report_type(&answer);
  } else {
    session.s_snmp_errno = SNMPERR_PROTOCOL;
    const std::string detail =
        std::string("Expected RESPONSE-PDU but got ") + snmp_pdu_type(answer.command) + "-PDU";
    snmp_set_detail(detail.c_str());
  }
  walk.walker.EndRequestFailed(SessionError(walk.session));
}

// net-snmp's call with what became of a walk's request.
int OnAnswer(int operation, netsnmp_session* session, int, netsnmp_pdu* answer, void* magic) {
  Walk& walk = *static_cast<Walk*>(magic);
  // net-snmp calls once more for a REPORT the walk has taken (a security
  // error); the walk has ended by then.
  if (!walk.awaiting) return 1;
  if (operation == NETSNMP_CALLBACK_OP_RESEND) return 1;  // the retry went out
  if (operation == NETSNMP_CALLBACK_OP_SEND_FAILED) {
    walk.retry_failed = true;  // the retry could not be sent: Expire() ends the request
    return 1;
  }
  walk.awaiting = false;
  try {
    if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && answer != nullptr) {
      if (answer->command == SNMP_MSG_RESPONSE) {
        walk.walker.TakeResponse(*answer);
      } else {
        EndOnOtherAnswer(walk, *session, *answer);
      }
    } else if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT) {
      walk.walker.EndNoResponse();
    } else {
      walk.walker.EndRequestFailed(SessionError(walk.session));
    }
  } catch (...) {
    walk.error = std::current_exception();  // never through net-snmp's C frames
  }
  return 1;
}

int PollTimeout(Clock::time_point wake) {
  if (wake == Clock::time_point::max()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

class Engine {
 public:
  Engine(const std::vector<const DeviceEntry*>& targets, std::size_t at_once,
         const WalkEvents& events)
      : targets_(targets),
        at_once_(std::max<std::size_t>(at_once, 1)),
        events_(events),
        looking_up_(targets.size(), nullptr) {
    // Host files are read here, on this thread, before any lookup runs: they
    // may change library settings that lookups read.
    for (const DeviceEntry* target : targets_) {
      netsnmp_session settings;
      FillWalkSession(*target, settings);
      peer_targets_.push_back(pdu::PeerTarget(settings.peername));
    }
    netsnmp_large_fd_set_init(&readable_, FD_SETSIZE);
  }

  ~Engine() {
    for (Walk& walk : walks_) {
      if (walk.session != nullptr) snmp_sess_close(walk.session);
    }
    netsnmp_large_fd_set_cleanup(&readable_);
  }

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  void Run() {
    StartWalks();
    Clock::time_point next_tick = Clock::now() + kTick;
    std::vector<pollfd> polled;
    std::vector<Walk*> owners;  // of polled[i]; null for the two wake-ups
    while (running_ > 0) {
      if (Interrupted() != 0) {
        EndAll();
        return;
      }
      // The interruption's descriptor (or -1, which poll skips) is only watched.
      polled.assign({pollfd{lookups_.wake_fd(), POLLIN, 0}, pollfd{InterruptWakeFd(), POLLIN, 0}});
      owners.assign(2, nullptr);
      Clock::time_point wake = events_.tick ? next_tick : Clock::time_point::max();
      for (Walk& walk : walks_) {
        if (!walk.awaiting) continue;  // its name is being looked up
        polled.push_back(pollfd{walk.fd, POLLIN, 0});
        owners.push_back(&walk);
        wake = std::min(wake, walk.deadline);
      }
      if (::poll(polled.data(), polled.size(), PollTimeout(wake)) < 0 && errno != EINTR) {
        throw std::system_error(errno, std::generic_category(), "poll");
      }
      if (polled[0].revents != 0) TakeLookups();
      for (std::size_t i = 2; i < polled.size(); ++i) {
        if (polled[i].revents != 0) Read(*owners[i]);
      }
      const Clock::time_point now = Clock::now();
      for (Walk& walk : walks_) {
        if (walk.awaiting && walk.deadline <= now) Expire(walk);
      }
      walks_.remove_if([](const Walk& walk) { return walk.finished; });
      StartWalks();
      if (events_.tick && Clock::now() >= next_tick) {
        events_.tick();
        next_tick = Clock::now() + kTick;
      }
    }
  }

 private:
  // The run was interrupted: every walk not yet ended ends as interrupted,
  // those never started included, each with its event.
  void EndAll() {
    for (Walk& walk : walks_) {
      if (walk.finished) continue;
      walk.awaiting = false;  // net-snmp forgets the request with the session
      walk.walker.EndInterrupted();
      Finish(walk);
    }
    for (; next_ < targets_.size(); ++next_) {
      TableWalker never_started(targets_[next_]->address);
      never_started.EndInterrupted();
      events_.ended(next_, std::move(never_started.walk()), 0.0);
    }
  }

  void StartWalks() {
    while (running_ < at_once_ && next_ < targets_.size()) Start(next_++);
  }

  void Start(std::size_t index) {
    Walk& walk = walks_.emplace_back(index, *targets_[index]);
    ++running_;
    const std::string& target = peer_targets_[index];
    netsnmp_session settings;
    FillWalkSession(walk.entry, settings);
    if (pdu::IsNumericTarget(target)) {  // no name to look up: made here at once
      netsnmp_transport* transport = pdu::CreateTransport(target, settings.local_port);
      Open(walk, transport, errno);
      return;
    }
    looking_up_[index] = &walk;
    NameLookups::Lookup lookup;
    lookup.key = index;
    lookup.target = target;
    lookup.local_port = settings.local_port;
    lookup.address = walk.entry.address;
    lookups_.Submit(std::move(lookup));
  }

  void TakeLookups() {
    for (NameLookups::Lookup& lookup : lookups_.TakeFinished()) {
      Walk& walk = *std::exchange(looking_up_[lookup.key], nullptr);
      if (lookup.transport == nullptr) walk.lookup_findings = std::move(lookup.findings);
      Open(walk, lookup.transport, lookup.error);
    }
  }

  // Adds the session on `transport`, as snmp_sess_open would, and sends the
  // first request; a null transport could not be made (errno `error`).
  void Open(Walk& walk, netsnmp_transport* transport, int error) {
    netsnmp_session settings;
    FillWalkSession(walk.entry, settings);
    if (transport == nullptr) {
      // What snmp_sess_open records for a peer it cannot use.
      settings.s_snmp_errno = SNMPERR_BAD_ADDRESS;
      settings.s_errno = error;
      snmp_set_detail(settings.peername);
    } else {
      walk.session = snmp_sess_add(&settings, transport, nullptr, nullptr);
    }
    if (walk.session == nullptr) {
      walk.walker.EndNoSession(OpenError(settings));
      Finish(walk);
      return;
    }
    snmp_sess_session(walk.session)->timeout = pdu::kTimeoutMicroseconds;
    walk.fd = snmp_sess_transport(walk.session)->sock;
    Advance(walk);
  }

  // Sends the walk's next request, or ends the walk.
  void Advance(Walk& walk) {
    if (walk.error) std::rethrow_exception(std::exchange(walk.error, nullptr));
    if (netsnmp_pdu* request = walk.walker.NextRequest()) {
      if (snmp_sess_async_send(walk.session, request, OnAnswer, &walk) != 0) {
        walk.awaiting = true;
        walk.deadline = Clock::now() + kTryTime;
        return;
      }
      snmp_free_pdu(request);
      walk.walker.EndRequestFailed(SessionError(walk.session));
    }
    Finish(walk);
  }

  void Read(Walk& walk) {
    NETSNMP_LARGE_FD_SET(walk.fd, &readable_);
    snmp_sess_read2(walk.session, &readable_);
    NETSNMP_LARGE_FD_CLR(walk.fd, &readable_);
    if (!walk.awaiting) Advance(walk);
  }

  void Expire(Walk& walk) {
    snmp_sess_timeout(walk.session);
    // A retry that could not be sent times out at once, as in net-snmp's
    // synchronous call: the request is past its time and out of retries.
    if (walk.awaiting && std::exchange(walk.retry_failed, false)) snmp_sess_timeout(walk.session);
    if (walk.awaiting) {  // the retry went out
      walk.deadline = Clock::now() + kTryTime;
      return;
    }
    Advance(walk);
  }

  void Finish(Walk& walk) {
    if (walk.session != nullptr) snmp_sess_close(std::exchange(walk.session, nullptr));
    walk.finished = true;
    --running_;
    TableWalk& result = walk.walker.walk();
    if (result.answers == 0 &&
        (result.how == WalkEnd::kNoSession || result.how == WalkEnd::kRequestFailed)) {
      // Why nothing reached the PDU, in terms of its address; a name is not
      // looked up again on this thread.
      result.address_findings = walk.lookup_findings
                                    ? std::move(*walk.lookup_findings)
                                    : AddressFindings(walk.entry.address, /*look_up_name=*/false);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - walk.started).count();
    events_.ended(walk.index, std::move(result), seconds);
  }

  const std::vector<const DeviceEntry*>& targets_;
  const std::size_t at_once_;
  const WalkEvents& events_;
  std::vector<std::string> peer_targets_;  // by index
  std::vector<Walk*> looking_up_;          // by index, while its name is looked up
  std::size_t next_ = 0;                   // the next target to start
  std::size_t running_ = 0;                // started and not finished
  std::list<Walk> walks_;                  // started and not yet dropped
  netsnmp_large_fd_set readable_;          // one socket at a time, for snmp_sess_read2
  NameLookups lookups_;                    // last: its threads are joined before the rest goes
};

}  // namespace

void WalkTables(const std::vector<const DeviceEntry*>& targets, std::size_t at_once,
                const WalkEvents& events) {
  Engine engine(targets, at_once, events);
  engine.Run();
}

}  // namespace pdu_host
