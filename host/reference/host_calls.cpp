// Call record and observer of the reference host.
#include "host_calls.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "host_state.h"

namespace qtxhost {
namespace {

pdu::Mutex observer_mutex;
std::shared_ptr<const CallObserver> observer PDU_GUARDED_BY(observer_mutex);

std::shared_ptr<const CallObserver> CurrentObserver() {
  const pdu::MutexLock lock(observer_mutex);
  return observer;
}

}  // namespace

const char* KindName(HostCall::Kind kind) {
  switch (kind) {
    case HostCall::Kind::kSendSP:
      return "SendSP";
    case HostCall::Kind::kReset:
      return "Reset";
    case HostCall::Kind::kCheckThresholdBool:
      return "CheckThresholdBool";
    case HostCall::Kind::kDoBatchCheckThreshold:
      return "DoBatchCheckThreshold";
    case HostCall::Kind::kSaveDeviceHistory:
      return "SaveDeviceHistory";
  }
  return "?";
}

void Record(const QTXVDevice& device, HostCall call) {
  QTXVDevice::HostState& state = *device.host_state();
  const auto notify = CurrentObserver();
  if (notify) (*notify)(device, call);
  {
    const pdu::MutexLock lock(state.mutex);
    state.calls.push_back(std::move(call));
  }
  state.changed.notify_all();
}

std::vector<HostCall> RecordedCalls(const QTXVDevice& device) {
  QTXVDevice::HostState& state = *device.host_state();
  const pdu::MutexLock lock(state.mutex);
  return state.calls;
}

void ClearRecordedCalls(const QTXVDevice& device) {
  QTXVDevice::HostState& state = *device.host_state();
  const pdu::MutexLock lock(state.mutex);
  state.calls.clear();
}

bool WaitForCalls(const QTXVDevice& device, HostCall::Kind kind, std::size_t count,
                  std::chrono::milliseconds timeout) {
  QTXVDevice::HostState& state = *device.host_state();
  std::unique_lock<std::mutex> lock(state.mutex);
  return state.changed.wait_for(lock, timeout, [&]() PDU_REQUIRES(state.mutex) {
    return static_cast<std::size_t>(
               std::count_if(state.calls.begin(), state.calls.end(),
                             [&](const HostCall& c) { return c.kind == kind; })) >= count;
  });
}

void SetCallObserver(CallObserver new_observer) {
  std::shared_ptr<const CallObserver> next;
  if (new_observer) next = std::make_shared<const CallObserver>(std::move(new_observer));
  const pdu::MutexLock lock(observer_mutex);
  observer = std::move(next);
}

}  // namespace qtxhost
