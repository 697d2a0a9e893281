#include "walk/walk_engine.h"

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

#include "common/interruption.h"
#include "configuration/address_check.h"
#include "driver/snmp/peer_transport.h"
#include "driver/v3/usm_state.h"
#include "driver/v3/v3_refusal.h"
#include "driver/v3/v3_session.h"
#include "driver/walk/walk_settings.h"
#include "walk/name_lookups.h"
#include "walk/table_walker.h"
#include "walk/walk_session.h"

namespace pdu_host {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTick = std::chrono::milliseconds(250);
// net-snmp expires a request at its send time plus the session's time-out.
// Ours is taken after the send returns, and a millisecond later, so that by
// ours the library's has passed; net-snmp then sends the retry or gives up.
constexpr auto kTryTime =
    std::chrono::microseconds(pdu::kTimeoutMicroseconds) + std::chrono::milliseconds(1);
// How long a walk waits for its name to be looked up: as long as a PDU that
// does not answer costs (a time-out and its retries), so that neither takes
// longer than a survey promises.
constexpr auto kLookupTime =
    std::chrono::microseconds(pdu::kTimeoutMicroseconds) * (pdu::kRetries + 1);

struct Walk {
  Walk(std::size_t position, const DeviceEntry& device,
       std::shared_ptr<const pdu::SessionSecurity> how)
      : index(position), entry(device), security(std::move(how)), walker(device.address) {
    walker.walk().security = security;
  }

  const std::size_t index;
  const DeviceEntry& entry;
  const std::shared_ptr<const pdu::SessionSecurity> security;
  TableWalker walker;
  const Clock::time_point started = Clock::now();
  void* session = nullptr;    // once opened, until the walk ends
  int fd = -1;                // the session's socket
  bool awaiting = false;      // a request is in flight
  bool retry_failed = false;  // net-snmp could not send its retry
  bool discovering = false;   // the request in flight discovers the v3 engine
  int report = 0;             // the type of the v3 report that refused the walk
  Clock::time_point deadline;
  Clock::time_point lookup_deadline = Clock::time_point::max();  // while its name is looked up
  bool finished = false;                                         // reported, to be dropped
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

// An answer that is not a RESPONSE ends the walk here: the report of an
// SNMP v3 PDU as a refusal, in words a person acts on; any other as an answer
// the walk stops at.
void EndOnOtherAnswer(Walk& walk, netsnmp_pdu& answer) {
  if (answer.command == SNMP_MSG_REPORT && walk.security->v3()) {
    walk.report = snmpv3_get_report_type(&answer);
    walk.walker.EndRefused(
        pdu::RefusalReason(walk.report, walk.security->user(), walk.security->level()));
    return;
  }
  walk.walker.EndOtherAnswer(snmp_pdu_type(answer.command));
}

bool OutOfTimeWindow(netsnmp_pdu& answer) {
  return answer.command == SNMP_MSG_REPORT &&
         snmpv3_get_report_type(&answer) == SNMPERR_NOT_IN_TIME_WINDOW;
}

// net-snmp's call with what became of a walk's request.
int OnAnswer(int operation, netsnmp_session*, int, netsnmp_pdu* answer, void* magic) {
  Walk& walk = *static_cast<Walk*>(magic);
  // net-snmp calls twice for a REPORT: with the message and with a security
  // error; the walk has moved on after the first.
  if (!walk.awaiting) return 1;
  if (operation == NETSNMP_CALLBACK_OP_RESEND) {
    // Sent again, after its time-out or a report that its time is out of the
    // PDU's window: net-snmp waits from now.
    walk.deadline = Clock::now() + kTryTime;
    return 1;
  }
  if (operation == NETSNMP_CALLBACK_OP_SEND_FAILED) {
    walk.retry_failed = true;  // the retry could not be sent: Expire() ends the request
    return 1;
  }
  // Which of the two comes first depends on net-snmp's version. A report
  // that the request's boots and time are not the PDU's is followed by the
  // request sent again with those the report brought or, the retries spent,
  // by the security error.
  const bool answered = answer != nullptr && (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE ||
                                              operation == NETSNMP_CALLBACK_OP_SEC_ERROR);
  if (answered && operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && !walk.discovering &&
      OutOfTimeWindow(*answer)) {
    return 1;
  }
  walk.awaiting = false;
  try {
    if (answered && walk.discovering) {
      // The engine ID of the report is the session's once net-snmp is done
      // with it, after this call: Advance() takes it.
    } else if (answered && answer->command == SNMP_MSG_RESPONSE) {
      walk.walker.TakeResponse(*answer);
    } else if (answered) {
      EndOnOtherAnswer(walk, *answer);
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
      // Keys are derived here, once for devices with the same credentials,
      // before the first walk starts its clock.
      securities_.push_back(WalkSecurity(*target));
      netsnmp_session settings;
      FillWalkSession(*target, *securities_.back(), settings);
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
        wake = std::min(wake, walk.lookup_deadline);
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
        if (walk.lookup_deadline <= now) GiveUpLookup(walk);
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
    Walk& walk = walks_.emplace_back(index, *targets_[index], securities_[index]);
    ++running_;
    if (const auto& problem = walk.security->problem()) {
      walk.walker.EndNotWalked(problem->member + " " + problem->text);
      Finish(walk);
      return;
    }
    const std::string& target = peer_targets_[index];
    netsnmp_session settings;
    FillWalkSession(walk.entry, *walk.security, settings);
    if (pdu::IsNumericTarget(target)) {  // no name to look up: made here at once
      netsnmp_transport* transport = pdu::CreateTransport(target, settings.local_port);
      Open(walk, transport, errno);
      return;
    }
    looking_up_[index] = &walk;
    walk.lookup_deadline = Clock::now() + kLookupTime;
    NameLookups::Lookup lookup;
    lookup.key = index;
    lookup.target = target;
    lookup.local_port = settings.local_port;
    lookup.address = walk.entry.address;
    lookups_.Submit(std::move(lookup));
  }

  void TakeLookups() {
    for (NameLookups::Lookup& lookup : lookups_.TakeFinished()) {
      Walk* walk = std::exchange(looking_up_[lookup.key], nullptr);
      if (walk == nullptr) {  // given up on already
        const pdu::MutexLock lock(pdu::NetSnmpMutex());
        pdu::DiscardTransport(lookup.transport);
        continue;
      }
      walk->lookup_deadline = Clock::time_point::max();
      if (!lookup.numeric.empty()) {  // no name left to look up: made here at once
        lookup.transport = pdu::CreateTransport(lookup.numeric, lookup.local_port);
        lookup.error = errno;
      }
      if (lookup.transport == nullptr) walk->lookup_findings = std::move(lookup.findings);
      Open(*walk, lookup.transport, lookup.error);
    }
  }

  // The name took longer to look up than a PDU that does not answer: the
  // walk ends without a session, and the look-up's result is dropped.
  void GiveUpLookup(Walk& walk) {
    looking_up_[walk.index] = nullptr;
    walk.lookup_deadline = Clock::time_point::max();
    walk.lookup_findings = AddressFindings(walk.entry.address, /*look_up_name=*/false);
    walk.lookup_findings->insert(
        walk.lookup_findings->begin(),
        AddressFinding{
            "looking the name up took longer than " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(kLookupTime).count()) +
                " s: the system's resolver (DNS) does not answer in time",
            true});
    Open(walk, nullptr, ETIMEDOUT);
  }

  // Adds the session on `transport`, as snmp_sess_open would, and sends the
  // first request; a null transport could not be made (errno `error`).
  void Open(Walk& walk, netsnmp_transport* transport, int error) {
    netsnmp_session settings;
    FillWalkSession(walk.entry, *walk.security, settings);
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
    if (walk.security->v3()) {
      StartV3(walk);
      return;
    }
    Advance(walk);
  }

  // Sends the discovery request when the PDU's engine is not known yet;
  // else readies the session for the engine and walks.
  void StartV3(Walk& walk) {
    pdu::KeepFromProbing(walk.session);
    std::string engine_id;
    {
      const pdu::MutexLock lock(pdu::NetSnmpMutex());
      engine_id = pdu::KnownEngineId(walk.session);
    }
    if (engine_id.empty()) {
      netsnmp_pdu* discovery = pdu::EngineDiscoveryRequest();
      if (discovery == nullptr) {
        walk.walker.EndRequestFailed("net-snmp could not create the engine discovery request");
      } else if (Send(walk, discovery)) {
        walk.discovering = true;
        walk.walker.walk().discovery_requests = 1;
        return;
      }
      Finish(walk);
      return;
    }
    UseEngine(walk, engine_id);
    Advance(walk);
  }

  // Readies the walk's v3 session for the PDU's engine, or ends the walk.
  void UseEngine(Walk& walk, const std::string& engine_id) {
    if (pdu::UseEngine(walk.session, engine_id) == pdu::V3Setup::kReady) {
      walk.walker.walk().engine_id = engine_id;
    } else {
      walk.walker.EndRefused(pdu::kNoEngineReason);
    }
  }

  // Sends `request`, which net-snmp takes over; false when it could not be
  // sent, which ends the walk.
  bool Send(Walk& walk, netsnmp_pdu* request) {
    if (pdu::OnSession(walk.session, *walk.security, [&] {
          return snmp_sess_async_send(walk.session, request, OnAnswer, &walk);
        }) != 0) {
      walk.awaiting = true;
      walk.deadline = Clock::now() + kTryTime;
      return true;
    }
    snmp_free_pdu(request);
    walk.walker.EndRequestFailed(SessionError(walk.session));
    return false;
  }

  // After an answer: takes the engine a discovery brought, then sends the
  // walk's next request, or ends the walk.
  void Advance(Walk& walk) {
    if (walk.error) std::rethrow_exception(std::exchange(walk.error, nullptr));
    if (std::exchange(walk.discovering, false) && !walk.walker.ended()) {
      // net-snmp copied the engine ID of the report into the session.
      const netsnmp_session* settings = snmp_sess_session(walk.session);
      UseEngine(walk, std::string(reinterpret_cast<const char*>(settings->securityEngineID),
                                  settings->securityEngineIDLen));
    }
    netsnmp_pdu* request = walk.walker.NextRequest();
    if (request != nullptr && Send(walk, request)) return;
    Finish(walk);
  }

  void Read(Walk& walk) {
    NETSNMP_LARGE_FD_SET(walk.fd, &readable_);
    pdu::OnSession(walk.session, *walk.security,
                   [&] { return snmp_sess_read2(walk.session, &readable_); });
    NETSNMP_LARGE_FD_CLR(walk.fd, &readable_);
    if (!walk.awaiting) Advance(walk);
  }

  void Expire(Walk& walk) {
    const auto time_out = [&walk] { snmp_sess_timeout(walk.session); };
    pdu::OnSession(walk.session, *walk.security, time_out);
    // A retry that could not be sent times out at once, as in net-snmp's
    // synchronous call: the request is past its time and out of retries.
    if (walk.awaiting && std::exchange(walk.retry_failed, false)) {
      pdu::OnSession(walk.session, *walk.security, time_out);
    }
    if (walk.awaiting) {  // the retry went out
      walk.deadline = Clock::now() + kTryTime;
      return;
    }
    Advance(walk);
  }

  void Finish(Walk& walk) {
    TableWalk& result = walk.walker.walk();
    // As the plug-in does: after no answer or an unknown engine, the next
    // walk of the PDU discovers the engine and its time anew.
    if (walk.session != nullptr && walk.security->v3() &&
        (result.how == WalkEnd::kNoResponse || walk.report == SNMPERR_UNKNOWN_ENG_ID)) {
      pdu::ForgetEngine(walk.session);
    }
    if (walk.session != nullptr) snmp_sess_close(std::exchange(walk.session, nullptr));
    walk.finished = true;
    --running_;
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
  std::vector<std::shared_ptr<const pdu::SessionSecurity>> securities_;  // by index
  std::vector<std::string> peer_targets_;                                // by index
  std::vector<Walk*> looking_up_;  // by index, while its name is looked up
  std::size_t next_ = 0;           // the next target to start
  std::size_t running_ = 0;        // started and not finished
  std::list<Walk> walks_;          // started and not yet dropped
  netsnmp_large_fd_set readable_;  // one socket at a time, for snmp_sess_read2
  NameLookups lookups_;            // last: its threads are joined before the rest goes
};

}  // namespace

void WalkTables(const std::vector<const DeviceEntry*>& targets, std::size_t at_once,
                const WalkEvents& events) {
  Engine engine(targets, at_once, events);
  engine.Run();
}

}  // namespace pdu_host
