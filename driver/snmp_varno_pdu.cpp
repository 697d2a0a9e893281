#include "driver/snmp_varno_pdu.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "device/config_member.h"
#include "driver/driver_console.h"
#include "driver/snmp/session_open.h"
#include "driver/v3/snmp_credentials.h"
#include "driver/v3/usm_state.h"
#include "driver/v3/v3_refusal.h"
#include "driver/v3/v3_session.h"
#include "driver/walk/bulk_walk_step.h"
#include "driver/walk/walk_settings.h"

namespace {

constexpr std::chrono::seconds kPauseBetweenPasses{5};

// A pass with its cycle and the reference host's calls touches about 10 KiB
// of stack (measured by the tests and the benchmark); the rest is margin for
// a real host's own calls. std::thread would reserve the process default,
// 8 MiB with the usual ulimit -s.
constexpr std::size_t kSamplingStackBytes = 512 * 1024;

// PDUs named in a line about PDUs sharing an engine ID; the rest are counted.
constexpr std::size_t kSharersNamed = 3;

// A request's time-out and its retries.
constexpr std::chrono::seconds kLongestRequest{pdu::kTimeoutMicroseconds / 1'000'000 *
                                               (pdu::kRetries + 1)};

// Marks the thread running a pass for the pass's duration.
class PassThread {
 public:
  explicit PassThread(std::atomic<std::thread::id>& id) : id_(id) {
    id_ = std::this_thread::get_id();
  }
  ~PassThread() { id_ = std::thread::id(); }
  PassThread(const PassThread&) = delete;
  PassThread& operator=(const PassThread&) = delete;

 private:
  std::atomic<std::thread::id>& id_;
};

}  // namespace

// Lets the destructor signal a polled pass's wake-up event while the pass runs.
class SNMP_VARNO_PDU::PolledWake {
 public:
  PolledWake(SNMP_VARNO_PDU& device, pdu::WakeEvent* event) : device_(device) {
    const pdu::MutexLock lock(device_.stop_mutex_);
    device_.polled_wake_ = event;
  }
  ~PolledWake() {
    const pdu::MutexLock lock(device_.stop_mutex_);
    device_.polled_wake_ = nullptr;
  }
  PolledWake(const PolledWake&) = delete;
  PolledWake& operator=(const PolledWake&) = delete;

 private:
  SNMP_VARNO_PDU& device_;
};

SNMP_VARNO_PDU::SNMP_VARNO_PDU() {
  std::fill(std::begin(next_oid_), std::end(next_oid_), 0);
  use_thread_ = 0;
  device_type_ = "snmp_varno_pdu";

  {
    const pdu::MutexLock lock(pdu::NetSnmpMutex());
    snmp_sess_init(&session_settings_);
  }
  pdu::ApplyWalkSession(session_settings_);
}

SNMP_VARNO_PDU::~SNMP_VARNO_PDU() {
  if (sample_thread_.IsCurrentThread() || pass_thread_ == std::this_thread::get_id()) {
    abort_self_deletion();
  }
  {
    const pdu::MutexLock lock(stop_mutex_);
    stop_requested_ = true;
    if (polled_wake_ != nullptr) polled_wake_->Signal();
  }
  stop_changed_.notify_all();
  if (wake_) wake_->Signal();
  sample_thread_.join();
  // A polled pass that another thread runs ends at the wake-up; nothing is
  // freed before it has.
  const pdu::MutexLock pass(pass_mutex_);
}

int SNMP_VARNO_PDU::InitSetting(const Json::Value& config) {
  // Keys are derived before the device lock is taken: that takes a while.
  auto security = std::make_shared<const pdu::SessionSecurity>(pdu::ReadCredentials(config));
  const pdu::MutexLock lock(cycle_mutex_);
  security_ = std::move(security);
  data_.data_id = data_id_;
  if (const Json::Value* app = config_member::PresentObject(config, "appSetting")) {
    if (const Json::Value* mode = config_member::Present(*app, "use_thread")) {
      use_thread_ = config_member::AtoiMember(*mode);
    }
  }
  Base::InitSetting(config);
  peer_name_ = address_;
  session_settings_.peername = peer_name_.data();

  // Started last and under the cycle lock, so the first pass sees the whole
  // configuration. One thread per device, whatever later calls configure.
  if (use_thread_ != 0 && !thread_started_) {
    wake_ = std::make_unique<pdu::WakeEvent>();
    try {
      sample_thread_.Start(kSamplingStackBytes, [this] { sample_data(nullptr); });
    } catch (...) {
      wake_.reset();
      throw;
    }
    thread_started_ = true;
  }
  return 1;
}

int SNMP_VARNO_PDU::process_data(int, unsigned char*, int) { return 0; }

int SNMP_VARNO_PDU::RefreshStatus() {
  if (use_thread_ == 0 && !thread_started_) do_sample();
  return 0;
}

void SNMP_VARNO_PDU::sample_data(void*) {
  for (;;) {
    try {
      do_sample();
    } catch (const std::exception& e) {
      std::string reason = e.what();
      std::replace(reason.begin(), reason.end(), '\n', ' ');  // one line, whatever it says
      report_unlocked(" sampling pass failed: " + reason);
    } catch (...) {
      report_unlocked(" sampling pass failed");
    }
    std::unique_lock<std::mutex> lock(stop_mutex_);
    if (stop_changed_.wait_for(lock, kPauseBetweenPasses,
                               [this] { return stop_requested_.load(); })) {
      return;
    }
  }
}

void SNMP_VARNO_PDU::do_sample() {
  const pdu::MutexLock pass(pass_mutex_);
  const PassThread on_this_thread(pass_thread_);
  pdu::TracePassStart();
  // A polled pass has a wake-up event of its own while it runs, through
  // which deletion on another thread ends its request in flight; deletion
  // waits for the rest (its name lookup, which has no thread of its own here).
  std::unique_ptr<pdu::WakeEvent> polled_wake;
  netsnmp_session settings;
  {
    const pdu::MutexLock lock(cycle_mutex_);
    settings = session_settings_;
    pass_peer_name_ = peer_name_;
    if (!wake_) {
      try {
        polled_wake = std::make_unique<pdu::WakeEvent>();
      } catch (const std::system_error&) {
      }
    }
    pass_event_ = wake_ ? wake_.get() : polled_wake.get();
    pass_wake_ = pdu::WakeWatch{pass_event_ != nullptr ? pass_event_->fd() : -1, &stop_requested_};
    pass_security_ = security_;
  }
  const PolledWake registered(*this, polled_wake.get());
  // Without an address (or before InitSetting) net-snmp would pick a
  // default peer; there is nothing to sample then.
  if (pass_peer_name_.empty()) return;
  // A device being destroyed opens nothing more.
  if (stop_requested_) return;
  if (const auto& problem = pass_security_->problem()) {
    report(" not sampled: " + problem->member + " " + problem->text);
    return;
  }
  if (pass_security_->v3()) {
    // Before the session opens: net-snmp sets v3 sessions up as they open.
    const pdu::MutexLock lock(pdu::NetSnmpMutex());
    pdu::PrepareUsm();
  }
  pass_security_->Apply(settings);
  settings.peername = pass_peer_name_.data();

  pdu::WakeWatch lookup_here;
  session_ =
      pdu::OpenSession(settings, polled_wake ? lookup_here : pass_wake_, "snmpbulkwalk").session;
  check_wake_descriptor();
  if (session_ == nullptr) return;
  snmp_sess_session(session_.get())->timeout = pdu::kTimeoutMicroseconds;

  std::copy(std::begin(pdu::kTableRoot), std::end(pdu::kTableRoot), next_oid_);
  next_oid_len_ = std::size(pdu::kTableRoot);
  pass_fields_ = 0;

  bool cycle = true;
  try {
    if (!pass_security_->v3() || ready_v3_session(&cycle)) walk_table();
  } catch (...) {
    session_.reset();  // no session, and no socket, outlives its pass
    throw;
  }
  session_.reset();
  if (!cycle) return;
  // A device being destroyed publishes nothing more.
  if (stop_requested_) return;
  // What the pass read goes into the record under the lock its cycle holds
  // too, so no restore comes between them.
  const pdu::MutexLock lock(cycle_mutex_);
  pdu::CopyFields(pass_values_, pass_fields_, data_);
  RoundDone();
}

void SNMP_VARNO_PDU::walk_table() {
  long requests = 0;
  bool running = true;
  while (running && !stop_requested_) {
    if (++requests > pdu::kMaxRequestsPerPass) {
      report(" walk ended: request limit of one pass reached");
      return;
    }
    running = walk_step();
  }
}

bool SNMP_VARNO_PDU::walk_step() {
  const boost::posix_time::ptime now = pass_clock_.Now();
  {
    const pdu::MutexLock lock(cycle_mutex_);
    last_sample_time_ = now;
  }
  pdu::PduHandle request;
  {
    // Request and message ids come from unlocked library-wide counters.
    const pdu::MutexLock api_lock(pdu::NetSnmpMutex());
    request.reset(snmp_pdu_create(SNMP_MSG_GETBULK));
  }
  if (request == nullptr) {
    pdu::ReportRequestFailed(pdu::RequestStatus::kError);
    return false;
  }
  request->non_repeaters = pdu::kNonRepeaters;
  request->max_repetitions = pdu::kMaxRepetitions;
  snmp_add_null_var(request.get(), next_oid_, next_oid_len_);

  // No device lock is held while the request waits for its answer.
  pdu::PduHandle response;
  const pdu::RequestStatus status =
      pdu::SendAndWait(session_.get(), std::move(request), &response, pass_wake_, request_state_,
                       pass_security_.get());
  check_wake_descriptor();
  if (status == pdu::RequestStatus::kStopped) return false;  // the device is being destroyed

  if (status == pdu::RequestStatus::kTimeout) {
    pdu::ReportNoAnswer(pass_peer_name_);
    if (pass_security_->v3()) pdu::ForgetEngine(session_.get());
    return false;
  }
  if (request_state_.report != 0) {
    report(" refused by the PDU: " + pdu::RefusalReason(request_state_.report,
                                                        pass_security_->user(),
                                                        pass_security_->level()));
    if (request_state_.report == SNMPERR_UNKNOWN_ENG_ID) pdu::ForgetEngine(session_.get());
    return false;
  }
  if (status != pdu::RequestStatus::kSuccess || response == nullptr) {
    pdu::ReportRequestFailed(status);
    return false;
  }
  const pdu::WalkStep step =
      pdu::ExamineResponse(*response, pdu::kTableRoot, std::size(pdu::kTableRoot), next_oid_,
                           &next_oid_len_, pass_values_, &pass_fields_);
  if (const char* reason = pdu::UnusualEndReason(step))
    report(std::string(" walk ended: ") + reason);
  return step == pdu::WalkStep::kContinue;
}

bool SNMP_VARNO_PDU::ready_v3_session(bool* cycle) {
  bool discovered = false;
  const pdu::V3Setup setup =
      pdu::ReadyV3Session(session_.get(), *pass_security_, pass_wake_, request_state_, &discovered);
  check_wake_descriptor();
  *cycle = true;
  switch (setup) {
    case pdu::V3Setup::kReady:
      if (discovered) report_shared_engine();
      return true;
    case pdu::V3Setup::kStopped:
      *cycle = false;  // the device is being destroyed
      return false;
    case pdu::V3Setup::kTimeout:
      pdu::ReportNoAnswer(pass_peer_name_);
      return false;
    case pdu::V3Setup::kNoEngine:
      report(std::string(" refused by the PDU: ") + pdu::kNoEngineReason);
      return false;
  }
  return false;
}

void SNMP_VARNO_PDU::report_shared_engine() {
  std::vector<std::string> others;
  std::string engine_id;
  {
    const pdu::MutexLock lock(pdu::NetSnmpMutex());
    others = pdu::PeersSharingEngine(session_.get());
    engine_id = pdu::KnownEngineId(session_.get());
  }
  if (others.empty()) return;
  std::string names;
  for (std::size_t i = 0; i < others.size() && i < kSharersNamed; ++i) {
    names += (i == 0 ? "" : ", ") + others[i];
  }
  if (others.size() > kSharersNamed) {
    names += " and " + std::to_string(others.size() - kSharersNamed) + " more";
  }
  report(" answers with SNMP v3 engine ID " + pdu::EngineIdText(engine_id) + ", as " + names +
         (others.size() == 1 ? " does" : " do") +
         "; SNMP v3 expects each PDU its own: each is read correctly, but give each PDU its "
         "own engine ID when you can");
}

void SNMP_VARNO_PDU::report(const std::string& text) {
  pdu::ReportForDevice(data_id_, pass_peer_name_, text);
}

void SNMP_VARNO_PDU::report_unlocked(const std::string& text) {
  std::string peer;
  {
    const pdu::MutexLock lock(cycle_mutex_);
    peer = peer_name_;
  }
  pdu::ReportForDevice(data_id_, peer, text);
}

void SNMP_VARNO_PDU::check_wake_descriptor() {
  if (!pass_wake_.lost || pass_event_ == nullptr) return;
  pass_wake_.lost = false;
  const int fd = pass_event_->fd();
  pass_event_->Disown();
  report(": its wake-up descriptor " + std::to_string(fd) +
         " was closed or reused by other code in this process; sampling goes on, but deleting the "
         "device may now wait for a request in flight (up to " +
         std::to_string(kLongestRequest.count()) +
         " s); look for code that closes descriptors it does not own");
}

void SNMP_VARNO_PDU::abort_self_deletion() {
  report_unlocked(
      " deleted from inside its own sampling pass (a host call of its cycle); the process must end "
      "here, as the pass would go on in freed memory; delete devices from another thread");
  std::terminate();
}
