// The host's observer of device calls: writes the event log, gathers each
// record cycle (SendSP ... SaveDeviceHistory) per device, prints its report
// when the cycle ends and counts the records each device published.
//
// OnCall runs on whichever thread the device calls from (its sampling
// thread included); everything here is guarded by one mutex, so event lines
// keep the order in which the calls arrived. Devices are registered before
// their Init, since a threaded device calls the host from Init on. Once the
// run is interrupted (interruption.h) calls are no longer collected: a cycle
// under way then is neither reported nor counted, and a record counts as
// published when its cycle ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/thread_safety.h"
#include "host_calls.h"
#include "run_as_host/event_log.h"
#include "run_as_host/record_report.h"

class QTXVDevice;

namespace pdu_host {

class CycleCollector {
 public:
  using ReportSink = std::function<void(const std::string& report)>;
  // Fills in what the plug-in reported during the pass of a sampled record
  // (CycleReport's pass fields) before its report is made.
  using PassNotes = std::function<void(unsigned int id, CycleReport& cycle)>;

  // `events` may be null (no log); `sink` receives each finished report;
  // `notes` may be empty.
  CycleCollector(EventLog* events, ReportSink sink, PassNotes notes = {});

  void Register(const QTXVDevice& device, unsigned int id, int b_mode);
  void OnCall(const QTXVDevice& device, const qtxhost::HostCall& call);

  // Cycles that begin on this thread while the scope lives are cache
  // restores: reported as such and not counted as sampled records.
  class CacheRestoreScope {
   public:
    CacheRestoreScope();
    ~CacheRestoreScope();
    CacheRestoreScope(const CacheRestoreScope&) = delete;
    CacheRestoreScope& operator=(const CacheRestoreScope&) = delete;
  };

  // Records `device` published from sampling (not from the cache).
  std::size_t SampledRecords(const QTXVDevice& device) const;
  // Waits until `device` has published `count` sampled records; false when
  // `deadline` came first.
  bool WaitForSampledRecords(const QTXVDevice& device, std::size_t count,
                             std::chrono::steady_clock::time_point deadline) const;
  // The bytes of the last record published by any device.
  std::optional<std::vector<unsigned char>> LastPublished() const;
  // The bytes of the last record published by the device registered as `id`.
  std::optional<std::vector<unsigned char>> LastPublishedBy(unsigned int id) const;
  // Calls from devices that were never registered (reported, not counted).
  std::size_t unknown_calls() const;

 private:
  struct DeviceState {
    unsigned int id = 0;
    int b_mode = 1;
    bool in_cycle = false;
    CycleReport cycle;
    std::size_t records = 0;
    std::size_t sampled = 0;
    std::optional<std::vector<unsigned char>> last_published;
    bool values_held = false;  // a pass had an answer, or a cache record was restored
  };

  void FinishCycle(DeviceState& state, const qtxhost::HostCall& save) PDU_REQUIRES(mutex_);

  EventLog* events_;
  ReportSink sink_;
  PassNotes notes_;
  mutable pdu::Mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<const QTXVDevice*, DeviceState> devices_ PDU_GUARDED_BY(mutex_);
  std::optional<std::vector<unsigned char>> last_published_ PDU_GUARDED_BY(mutex_);
  std::size_t unknown_calls_ PDU_GUARDED_BY(mutex_) = 0;
};

}  // namespace pdu_host
