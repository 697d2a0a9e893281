#include "threaded_memory.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "bench_clock.h"
#include "host_calls.h"
#include "percentile.h"
#include "plugin_device.h"
#include "proc_readers.h"
#include "silenced_stdout.h"

namespace bench {
namespace {

using qtxhost::HostCall;

// Approximate heap the reference host holds for `calls` (the call vector, at
// least big enough for one cycle of `calls_per_cycle`, and the record copies
// and long strings inside the calls).
std::size_t RecordedBytes(const std::vector<HostCall>& calls, std::size_t calls_per_cycle) {
  std::size_t capacity = 1;
  while (capacity < std::max(calls.size(), calls_per_cycle)) capacity *= 2;
  std::size_t bytes = capacity * sizeof(HostCall);
  const auto heap_string = [](const std::string& text) {
    return text.size() > 15 ? text.size() + 1 : std::size_t{0};
  };
  for (const HostCall& call : calls) {
    bytes += call.bytes.size() + heap_string(call.signal_id) + heap_string(call.signal_id2) +
             heap_string(call.group_text) + heap_string(call.alarm_text);
  }
  return bytes;
}

// Installs a call observer for its lifetime.
class ObserverScope {
 public:
  explicit ObserverScope(qtxhost::CallObserver observer) {
    qtxhost::SetCallObserver(std::move(observer));
  }
  ~ObserverScope() { qtxhost::SetCallObserver(nullptr); }
  ObserverScope(const ObserverScope&) = delete;
  ObserverScope& operator=(const ObserverScope&) = delete;
};

}  // namespace

MemoryResult ThreadedMemory(const Options& options, const qtxhost::PluginLibrary& plugin,
                            const pdu_agent::PduAgentProcess& agent, std::size_t calls_per_cycle) {
  MemoryResult result;
  // Declared before the devices: their threads call the observer until the
  // devices are destroyed. Reserved up front, so the observer allocates
  // nothing while memory is measured.
  std::mutex observed_mutex;
  std::size_t cycles = 0;
  std::vector<const QTXVDevice*> published;  // devices with a first record
  std::vector<double> first_record_seconds;  // when it came, from `start`
  published.reserve(static_cast<std::size_t>(options.devices));
  first_record_seconds.reserve(static_cast<std::size_t>(options.devices));
  const Clock::time_point start = Clock::now();
  // The reference host keeps every call with a copy of the record. Each
  // device's record is emptied when its next cycle starts (the observer runs
  // before the call is stored), so it holds one cycle at most however many
  // passes a device makes before the reading.
  ObserverScope observer([&](const QTXVDevice& device, const HostCall& call) {
    if (call.kind != HostCall::Kind::kSendSP) return;
    qtxhost::ClearRecordedCalls(device);
    std::lock_guard<std::mutex> lock(observed_mutex);
    ++cycles;
    if (std::find(published.begin(), published.end(), &device) == published.end() &&
        published.size() < published.capacity()) {
      published.push_back(&device);
      first_record_seconds.push_back(Seconds(Clock::now() - start));
    }
  });
  SilencedStdout silenced;
  std::vector<std::unique_ptr<QTXSocketDevice>> devices;
  devices.reserve(static_cast<std::size_t>(options.devices));

  result.udp_receive_errors_before = UdpReceiveBufferErrors();
  result.rss_before_kib = StatusField("VmRSS");
  result.vm_before_kib = StatusField("VmSize");
  result.threads_before = StatusField("Threads");
  for (int i = 0; i < options.devices; ++i) {
    if (i == options.devices / 2) result.vm_half_kib = StatusField("VmSize");
    devices.push_back(
        NewDevice(plugin, 1000 + static_cast<unsigned>(i), agent.address(), "1", options.b_mode));
  }
  const Clock::time_point deadline = start + kFirstRecordTimeout;
  for (const auto& device : devices) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (!qtxhost::WaitForCalls(*device, HostCall::Kind::kSendSP, 1,
                               std::max(left, std::chrono::milliseconds(0)))) {
      ++result.devices_without_record;
    }
  }
  result.wait_seconds = Seconds(Clock::now() - start);
  result.rss_after_kib = StatusField("VmRSS");
  result.vm_after_kib = StatusField("VmSize");
  result.threads_after = StatusField("Threads");
  {
    std::lock_guard<std::mutex> lock(observed_mutex);
    result.cycles = cycles;
    result.first_record_seconds = first_record_seconds;
  }
  result.udp_receive_errors_after = UdpReceiveBufferErrors();

  std::size_t recorded_bytes = 0;
  for (const auto& device : devices) {
    const std::vector<HostCall> calls = qtxhost::RecordedCalls(*device);
    result.recorded_calls += calls.size();
    recorded_bytes += RecordedBytes(calls, calls_per_cycle);
    for (const HostCall& call : calls) {
      result.records_at_reading += call.kind == HostCall::Kind::kSendSP;
    }
  }
  result.recorded_kib = recorded_bytes / 1024;

  const Clock::time_point destroy_start = Clock::now();
  devices.clear();  // stops and joins every sampling thread
  result.destroy_seconds = Seconds(Clock::now() - destroy_start);
  return result;
}

bool ReportThreadedMemory(const Options& options, const MemoryResult& memory) {
  const long added = memory.rss_after_kib - memory.rss_before_kib;
  std::printf(
      "memory, %d threaded devices: VmRSS %ld KiB before, %ld KiB after every device's first "
      "record (%.1f s; threads %ld -> %ld)\n",
      options.devices, memory.rss_before_kib, memory.rss_after_kib, memory.wait_seconds,
      memory.threads_before, memory.threads_after);
  std::printf("memory added: %ld KiB in total, %.1f KiB per device\n", added,
              static_cast<double>(added) / options.devices);
  const long reserved = memory.vm_after_kib - memory.vm_before_kib;
  const int second_half = options.devices - options.devices / 2;
  std::printf(
      "address space reserved (VmSize growth): %ld KiB in total, %.1f KiB per threaded "
      "device; %.1f KiB per device of the second half alone (the first threads also make "
      "the C library's per-thread malloc arenas, a fixed number)\n",
      reserved, static_cast<double>(reserved) / options.devices,
      static_cast<double>(memory.vm_after_kib - memory.vm_half_kib) / second_half);
  std::printf(
      "  the reference host's call record is cleared at every SendSP (one cycle kept per "
      "device); at the reading it held %zu calls (%zu SendSP), about %zu KiB (%.1f KiB per "
      "device), included above; %zu cycles had run (%.2f per device)\n",
      memory.recorded_calls, memory.records_at_reading, memory.recorded_kib,
      static_cast<double>(memory.recorded_kib) / options.devices, memory.cycles,
      static_cast<double>(memory.cycles) / options.devices);
  const long dropped = memory.udp_receive_errors_after - memory.udp_receive_errors_before;
  std::printf(
      "  first records after %.2f s (median), %.2f s (last); UDP datagrams dropped for a full "
      "receive buffer meanwhile (whole machine): %ld%s\n",
      Median(memory.first_record_seconds), Percentile(memory.first_record_seconds, 1.0), dropped,
      dropped > 0 ? " (a device whose request was dropped waits out the 10 s time-out, then "
                    "asks again)"
                  : "");
  std::printf("  devices without a record within %lld s: %d; destroying them took %.2f s\n",
              static_cast<long long>(kFirstRecordTimeout.count()), memory.devices_without_record,
              memory.destroy_seconds);
  return memory.devices_without_record == 0;
}

}  // namespace bench
