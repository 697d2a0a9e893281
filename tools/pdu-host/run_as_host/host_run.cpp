#include "run_as_host/host_run.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/check_run.h"
#include "common/complain.h"
#include "common/console_output.h"
#include "common/exit_status.h"
#include "common/file_io.h"
#include "common/interruption.h"
#include "configuration/host_config.h"
#include "console/console_capture.h"
#include "console/thread_device.h"
#include "driver/record/pdu_record.h"
#include "explain_record/explain_run.h"
#include "host_calls.h"
#include "plugin_library.h"
#include "qtx/qtx_socket_device.h"
#include "run_as_host/cycle_collector.h"
#include "run_as_host/error_status_walk.h"
#include "run_as_host/event_log.h"
#include "run_as_host/polled_pass_stop.h"
#include "run_as_host/run_summary.h"

namespace pdu_host {
namespace {

constexpr std::size_t kRecordSize = sizeof(SNMP_VARNO_PDU_Data_t);
constexpr std::size_t kMaxCacheFileRead = 1 << 20;
// How soon a wait for threaded devices notices Ctrl-C.
constexpr std::chrono::milliseconds kInterruptSlice{100};

std::string Label(const DeviceEntry& entry) {
  return "device " + std::to_string(entry.id) + " (devices[" + std::to_string(entry.index) + "])";
}

// The cache record, checked before anything is loaded.
std::string ReadCacheRecord(const std::string& path) {
  // Any size but the record's is refused; a huge file is not read whole.
  std::string bytes;
  try {
    bytes = ReadWholeFile(path, kMaxCacheFileRead, "cache file");
  } catch (const FileError& e) {
    throw ConfigError(e.what());
  }
  if (bytes.size() != kRecordSize) {
    throw ConfigError("cache file " + path + " is " + std::to_string(bytes.size()) +
                      " bytes; a record is exactly " + std::to_string(kRecordSize) + " bytes");
  }
  return bytes;
}

struct HostedDevice {
  const DeviceEntry* entry = nullptr;
  std::unique_ptr<QTXSocketDevice> device;
};

// Installs the observer for the lifetime of the object; removing it waits
// for nothing, so it is removed only after every device is gone.
class ObserverInstallation {
 public:
  explicit ObserverInstallation(CycleCollector& collector) {
    qtxhost::SetCallObserver([&collector](const QTXVDevice& device, const qtxhost::HostCall& call) {
      try {
        collector.OnCall(device, call);
      } catch (const std::exception& e) {
        Complain(std::string("reporting a call failed: ") + e.what());
      }
      // The reference host keeps every call; the collector has what it
      // needs, so a long run does not grow without bound.
      if (call.kind == qtxhost::HostCall::Kind::kSaveDeviceHistory) {
        qtxhost::ClearRecordedCalls(device);
      }
    });
  }
  ~ObserverInstallation() { qtxhost::SetCallObserver({}); }
  ObserverInstallation(const ObserverInstallation&) = delete;
  ObserverInstallation& operator=(const ObserverInstallation&) = delete;
};

// Waits until `device` has published `count` sampled records, the deadline
// has passed or the run is interrupted (noticed within a slice).
void WaitForRecords(const CycleCollector& collector, const QTXSocketDevice& device,
                    std::size_t count, std::chrono::steady_clock::time_point deadline) {
  while (Interrupted() == 0) {
    const auto slice = std::min(deadline, std::chrono::steady_clock::now() + kInterruptSlice);
    if (collector.WaitForSampledRecords(device, count, slice)) return;
    if (slice == deadline) return;
  }
}

// Creates and initialises the devices, restores the cache, polls and waits.
// Returns the exit status; devices are left in `hosted` for the caller to
// destroy.
int DriveDevices(const HostRunRequest& request, const std::vector<DeviceEntry>& entries,
                 const std::optional<std::string>& cache, QTXSocketDeviceProvider& provider,
                 CycleCollector& collector, RunLedger& ledger, std::vector<HostedDevice>& hosted) {
  for (const DeviceEntry& entry : entries) {
    HostedDevice slot{&entry, std::unique_ptr<QTXSocketDevice>(provider.create())};
    if (!slot.device) {
      Complain("the plug-in created no device for " + Label(entry));
      return kExitShortfall;
    }
    collector.Register(*slot.device, entry.id, entry.b_mode);
    QTXSocketDevice& device = *slot.device;
    hosted.push_back(std::move(slot));
    try {
      const DeviceCall call(entry.id);
      device.Init(std::weak_ptr<QTXController>(), entry.id, entry.config);
    } catch (const std::exception& e) {
      Complain(Label(entry) + ": the plug-in rejected its configuration: " + e.what());
      return kExitBadInput;
    }
  }

  int status = kExitOk;
  if (cache) {
    for (HostedDevice& slot : hosted) {
      CycleCollector::CacheRestoreScope scope;
      const DeviceCall call(slot.entry->id);
      if (!slot.device->LoadFromCache(*cache)) {
        Complain(Label(*slot.entry) + " did not take the cache record");
        status = kExitShortfall;
      }
    }
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(request.seconds));

  PolledPassStop stop;
  for (unsigned pass = 0; pass < request.passes && Interrupted() == 0; ++pass) {
    for (HostedDevice& slot : hosted) {
      if (slot.entry->threaded || Interrupted() != 0) continue;
      try {
        QTXSocketDevice* device = slot.device.get();
        const DeviceCall call(slot.entry->id);
        const PolledPassStop::Pass in_pass(stop, slot.device, slot.entry->id);
        // Checked once the pass is known to the stop, which then sees any signal after it.
        if (Interrupted() == 0) device->RefreshStatus();
      } catch (const std::exception& e) {
        Complain(Label(*slot.entry) + ": pass " + std::to_string(pass + 1) +
                 " failed: " + e.what());
        status = kExitShortfall;
      }
      ledger.EndPolledPass(slot.entry->id);
    }
  }
  for (HostedDevice& slot : hosted) {
    if (slot.entry->threaded) WaitForRecords(collector, *slot.device, request.passes, deadline);
  }

  for (HostedDevice& slot : hosted) {
    // An interrupted run is short of records by design: the summary tells.
    if (Interrupted() != 0) break;
    const std::size_t published = collector.SampledRecords(*slot.device);
    if (published >= request.passes) continue;
    std::string message = Label(*slot.entry) + " published " + std::to_string(published) + " of " +
                          std::to_string(request.passes) + " records";
    if (slot.entry->threaded) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", request.seconds);
      message += std::string(" within ") + seconds + " s (threaded)";
    } else {
      message += " (polled: a pass without a record had no answer or no address)";
    }
    Complain(message);
    status = kExitShortfall;
  }
  return status;
}

// Destroys the devices one by one (one whose polled pass was stopped is gone
// already), each destructor stopping and joining its sampling thread.
void DestroyDevices(std::vector<HostedDevice>& hosted) {
  for (HostedDevice& slot : hosted) {
    const DeviceCall call(slot.entry->id);
    slot.device.reset();
  }
  hosted.clear();
}

std::vector<ConsoleDevice> CapturedDevices(const std::vector<DeviceEntry>& entries) {
  std::vector<ConsoleDevice> devices;
  for (const DeviceEntry& entry : entries) {
    devices.push_back({entry.id, entry.address});
  }
  return devices;
}

}  // namespace

std::string DefaultPluginPath() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw std::runtime_error("cannot read /proc/self/exe; give --plugin PATH");
    if (static_cast<std::size_t>(n) < buffer.size()) {
      std::string exe(buffer.data(), static_cast<std::size_t>(n));
      return exe.substr(0, exe.rfind('/') + 1) + "snmp_varno_pdu.so";
    }
    if (buffer.size() >= (1u << 20)) throw std::runtime_error("executable path too long");
    buffer.resize(buffer.size() * 2);
  }
}

int RunHost(const HostRunRequest& request, const HostConfig& config, const std::string& source,
            const std::string& config_path) {
  if (config.Refused()) {
    ReportConfig(config, source, config_path);
    return kExitBadInput;
  }
  const std::vector<DeviceEntry>& entries = config.entries;

  std::optional<std::string> cache;
  std::unique_ptr<EventLog> events;
  std::unique_ptr<qtxhost::PluginLibrary> library;
  ProviderList providers;
  std::shared_ptr<QTXSocketDeviceProvider> provider;
  try {
    if (!request.record_path.empty() && entries.size() != 1) {
      throw ConfigError("--record captures one device's table; config file " + config_path +
                        " has " + std::to_string(entries.size()) + " devices");
    }
    if (!request.record_path.empty() && entries.front().address.empty()) {
      throw ConfigError("--record needs a device with an address; config file " + config_path +
                        " gives an empty one");
    }
    if (!request.cache_in_path.empty()) cache = ReadCacheRecord(request.cache_in_path);
    if (!request.record_path.empty()) CheckWritable(request.record_path, "record file");
    if (!request.cache_out_path.empty()) CheckWritable(request.cache_out_path, "cache file");
    if (!request.events_path.empty()) events = std::make_unique<EventLog>(request.events_path);
    const std::string plugin =
        request.plugin_path.empty() ? DefaultPluginPath() : request.plugin_path;
    library = std::make_unique<qtxhost::PluginLibrary>(plugin);
    providers = library->GetProviders();
    for (const auto& candidate : providers) {
      provider = std::dynamic_pointer_cast<QTXSocketDeviceProvider>(candidate);
      if (provider) break;
    }
    if (!provider)
      throw qtxhost::PluginError("plugin " + plugin + " offers no socket device provider");
  } catch (const std::exception& e) {
    provider.reset();
    providers.clear();
    Complain(e.what());
    return kExitBadInput;
  }
  ReportConfig(config, source, config_path);
  CatchInterrupts(
      "stopping the devices: a pass under way is abandoned and nothing more is "
      "published; then the run summary" +
      (request.cache_out_path.empty() ? std::string() : " and " + request.cache_out_path) +
      " (press Ctrl-C again to quit at once, without them)");
  const auto started = std::chrono::steady_clock::now();

  RunLedger ledger(entries);
  std::unique_ptr<ConsoleCapture> capture;
  // Beside each sampled record: the device's console lines of its pass,
  // which its thread wrote before the cycle, so they are counted already.
  CycleCollector collector(events.get(), WriteOut, [&](unsigned int id, CycleReport& cycle) {
    RunLedger::PassNotes notes = ledger.OnRecord(id, cycle.record);
    cycle.pass_lines = std::move(notes.lines);
    cycle.pass_unanswered = notes.unanswered;
    cycle.pass_perhaps_unanswered = notes.perhaps_unanswered;
  });
  capture = std::make_unique<ConsoleCapture>(
      CapturedDevices(entries),
      [&ledger](const std::vector<unsigned int>& candidates, const std::string& line) {
        ledger.OnLine(candidates, line);
      });
  if (!capture->error().empty()) Complain("note: " + capture->error());
  int status = kExitOk;
  {
    ObserverInstallation observer(collector);
    std::vector<HostedDevice> hosted;
    status = DriveDevices(request, entries, cache, *provider, collector, ledger, hosted);
    DestroyDevices(hosted);
  }
  provider.reset();
  providers.clear();
  library.reset();
  capture.reset();  // every line the plug-in wrote is passed on and counted

  for (const DeviceEntry& entry : entries) {
    // A device short of records is named above already.
    if (!ledger.LastPassUnanswered(entry.id) || ledger.Records(entry.id) < request.passes) continue;
    Complain(Label(entry) + ": its last pass ended without an answer (" +
             ledger.LastProblem(entry.id) + ")");
    if (status == kExitOk) status = kExitShortfall;
  }

  if (const std::size_t untied = ledger.UntiedProblems(); untied != 0) {
    Complain(std::to_string(untied) + (untied == 1 ? " problem line" : " problem lines") +
             " could not be tied to one device; the run summary names the devices it may be from");
    if (status == kExitOk) status = kExitShortfall;
  }
  if (collector.unknown_calls() != 0) {
    Complain(std::to_string(collector.unknown_calls()) + " calls came from unknown devices");
  }
  if (events && !events->error().empty()) {
    Complain(events->error());
    if (status == kExitOk) status = kExitShortfall;
  }
  if (Interrupted() == 0) NameErrorStatuses(entries, ledger);
  const bool walk_again = request.explain || !request.record_path.empty();
  std::vector<std::string> closing;  // said last: the files written, where output went
  if (walk_again && Interrupted() != 0) {
    Complain("note: interrupted, so the tables are not walked again for --explain or --record");
  } else if (walk_again &&
             !ExplainAndRecord(
                 request.explain, request.record_path, entries,
                 [&collector](unsigned int id) { return collector.LastPublishedBy(id); },
                 [&ledger](unsigned int id) { return ledger.LastPassTimedOut(id); }, closing) &&
             status == kExitOk) {
    status = kExitShortfall;
  }
  if (!request.cache_out_path.empty()) {
    const auto last = collector.LastPublished();
    try {
      if (!last)
        throw FileError("no record was published; " + request.cache_out_path + " not written");
      WriteWholeFile(request.cache_out_path, std::string(last->begin(), last->end()), "cache file");
    } catch (const FileError& e) {
      Complain(e.what());
      if (status == kExitOk) status = kExitShortfall;
    }
  }
  const int signal = Interrupted();
  WriteOut(ledger.Summary(signal != 0 ? InterruptName(signal) : nullptr, request.passes));
  for (const std::string& line : closing) Complain(line);
  if (signal != 0) {
    char seconds[32];
    std::snprintf(
        seconds, sizeof seconds, "%.1f s",
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    Complain(std::string("interrupted by ") + InterruptName(signal) + " after " + seconds +
             ": the devices were stopped; the records and the run summary are what they "
             "published until then");
    return kExitInterrupted;
  }
  return status;
}

}  // namespace pdu_host
