#include "run_as_host/cycle_collector.h"

#include <utility>

#include "common/interruption.h"

namespace pdu_host {
namespace {

thread_local bool restoring_cache = false;

}  // namespace

using Kind = qtxhost::HostCall::Kind;

CycleCollector::CycleCollector(EventLog* events, ReportSink sink, PassNotes notes)
    : events_(events), sink_(std::move(sink)), notes_(std::move(notes)) {}

CycleCollector::CacheRestoreScope::CacheRestoreScope() { restoring_cache = true; }
CycleCollector::CacheRestoreScope::~CacheRestoreScope() { restoring_cache = false; }

void CycleCollector::Register(const QTXVDevice& device, unsigned int id, int b_mode) {
  const pdu::MutexLock lock(mutex_);
  DeviceState& state = devices_[&device];
  state.id = id;
  state.b_mode = b_mode;
}

void CycleCollector::OnCall(const QTXVDevice& device, const qtxhost::HostCall& call) {
  // Once the run is interrupted nothing more is published: a pass that ends
  // after the signal is not reported, counted or kept for --cache-out.
  if (Interrupted() != 0) return;
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(&device);
  if (found == devices_.end()) {
    ++unknown_calls_;
    return;
  }
  DeviceState& state = found->second;
  if (events_ != nullptr) events_->Write(EventLine(state.id, call));

  CycleReport& cycle = state.cycle;
  switch (call.kind) {
    case Kind::kSendSP:
      cycle = CycleReport{};
      cycle.device_id = state.id;
      cycle.b_mode = state.b_mode;
      cycle.from_cache = restoring_cache;
      cycle.record = call.bytes;
      state.in_cycle = true;
      break;
    case Kind::kReset:
      break;
    case Kind::kCheckThresholdBool:
      cycle.signals.push_back({call.signal_id, call.alarm_text, call.active});
      break;
    case Kind::kDoBatchCheckThreshold:
      cycle.batch_checked = true;
      cycle.batch_rules = call.rule_count;
      cycle.batch_result = call.result;
      break;
    case Kind::kSaveDeviceHistory:
      FinishCycle(state, call);
      break;
  }
}

void CycleCollector::FinishCycle(DeviceState& state, const qtxhost::HostCall& save) {
  CycleReport& cycle = state.cycle;
  if (!state.in_cycle) {
    // Stored without being published first: report the stored bytes.
    cycle = CycleReport{};
    cycle.device_id = state.id;
    cycle.b_mode = state.b_mode;
    cycle.from_cache = restoring_cache;
    cycle.record = save.bytes;
  }
  if (state.in_cycle) {
    last_published_ = cycle.record;
    state.last_published = cycle.record;
  }
  cycle.stored_differs = save.bytes != cycle.record;
  cycle.number = ++state.records;
  if (!cycle.from_cache) {
    ++state.sampled;
    if (notes_) notes_(state.id, cycle);
    cycle.nothing_read = cycle.pass_unanswered && !state.values_held;
  }
  // A pass that perhaps had no answer may have read values: counted as held.
  state.values_held = state.values_held || cycle.from_cache || !cycle.pass_unanswered;
  state.in_cycle = false;
  sink_(FormatReport(cycle));
  changed_.notify_all();
}

std::size_t CycleCollector::SampledRecords(const QTXVDevice& device) const {
  const pdu::MutexLock lock(mutex_);
  const auto found = devices_.find(&device);
  return found == devices_.end() ? 0 : found->second.sampled;
}

bool CycleCollector::WaitForSampledRecords(const QTXVDevice& device, std::size_t count,
                                           std::chrono::steady_clock::time_point deadline) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_until(lock, deadline, [&]() PDU_REQUIRES(mutex_) {
    const auto found = devices_.find(&device);
    return found != devices_.end() && found->second.sampled >= count;
  });
}

std::optional<std::vector<unsigned char>> CycleCollector::LastPublished() const {
  const pdu::MutexLock lock(mutex_);
  return last_published_;
}

std::optional<std::vector<unsigned char>> CycleCollector::LastPublishedBy(unsigned int id) const {
  const pdu::MutexLock lock(mutex_);
  for (const auto& [device, state] : devices_) {
    if (state.id == id) return state.last_published;
  }
  return std::nullopt;
}

std::size_t CycleCollector::unknown_calls() const {
  const pdu::MutexLock lock(mutex_);
  return unknown_calls_;
}

}  // namespace pdu_host
