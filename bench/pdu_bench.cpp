// pdu-bench: what one sampling pass of the plug-in costs next to the bare SNMP
// traffic it needs, and what a threaded device costs in resident memory.
//
// Everything runs against the simulated PDU (sim/, snmpd with a pass_persist
// backend on a free loopback port) started by this program:
//
//  1. A counting pass: against an agent that logs every backend request, one
//     plug-in pass and one bare pass must each cost 32 GETBULK requests.
//  2. Pass time: (a) RefreshStatus of a polled device (walk and record
//     cycle) and (b) a bare walk through net-snmp's single-session API with
//     the same settings (v2c, community "tundra", non-repeaters 1,
//     max-repetitions 100, one binding, own session per pass) that stores
//     nothing. Warm-up pairs first, then ABBA blocks so drift hits both
//     sides alike; wall and process CPU time per pass, medians reported.
//  3. Resident memory and address space: VmRSS and VmSize before and after
//     creating N threaded devices, read once every device has published its
//     first record.
//  4. Threads: the deepest stack one pass uses and the stack a sampling
//     thread gets; the time to delete 10 threaded devices whose requests
//     wait on a silent PDU; and, given --armhf-dir, how many threaded devices
//     one armhf pdu-host process under qemu-arm starts and hears from.
//
// The plug-in's console trace goes to /dev/null while it runs (fd 1 is
// redirected); results are printed to the original stdout, and the last line
// is always "plugin/bare pass time ratio: R". Figures only, no limits are
// enforced; the exit status is 1 when a pass does not behave as expected
// (wrong request count, no record), 2 on a setup failure.
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include "driver/pdu_record.h"
#include "host_calls.h"
#include "plugin_library.h"
#include "qtx/qtx_socket_device.h"
#include "sim/pdu_agent_process.h"
#include "thread_costs.h"

namespace {

using qtxhost::HostCall;
using Clock = std::chrono::steady_clock;

// The walk both sides perform; the plug-in's settings.
const oid kTableRoot[] = {1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1};
constexpr char kCommunity[] = "tundra";
constexpr long kTimeoutMicroseconds = 10'000'000;
constexpr int kRetries = 1;
constexpr int kNonRepeaters = 1;
constexpr int kMaxRepetitions = 100;
constexpr int kMaxRequestsPerPass = 65'536;  // a misbehaving agent must not hold a pass forever
constexpr int kExpectedRequests = 32;        // 31 objects, then the name past the table

constexpr std::chrono::seconds kFirstRecordTimeout{60};

struct Options {
  std::string plugin = SNMP_VARNO_PDU_PLUGIN;
  int passes = 200;  // measured passes of each side
  int warmup = 5;    // warm-up pairs
  int devices = 200;
  std::string b_mode = "2";
  std::string armhf_dir;  // an armhf build folder with pdu-host and sysroot; empty skips
  int armhf_devices = 2000;
  int armhf_seconds = 300;  // wait for every armhf device's first record
};

void Usage() {
  std::cerr << "usage: pdu-bench [--passes N (>= 50, default 200)] [--warmup N (default 5)]\n"
               "                 [--devices N (default 200, 0 skips)] [--b-mode 1|2 (default 2)]\n"
               "                 [--plugin PATH] [--armhf-dir DIR] [--armhf-devices N (default "
               "2000)]\n"
               "                 [--armhf-seconds S (default 300)]\n";
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    try {
      if (arg == "--passes") {
        options->passes = std::stoi(value);
      } else if (arg == "--warmup") {
        options->warmup = std::stoi(value);
      } else if (arg == "--devices") {
        options->devices = std::stoi(value);
      } else if (arg == "--b-mode") {
        options->b_mode = value;
      } else if (arg == "--plugin") {
        options->plugin = value;
      } else if (arg == "--armhf-dir") {
        options->armhf_dir = value;
      } else if (arg == "--armhf-devices") {
        options->armhf_devices = std::stoi(value);
      } else if (arg == "--armhf-seconds") {
        options->armhf_seconds = std::stoi(value);
      } else {
        return false;
      }
    } catch (const std::exception&) {
      return false;
    }
  }
  return options->passes >= 50 && options->warmup >= 0 && options->devices >= 0 &&
         options->armhf_devices > 0 && options->armhf_seconds > 0 &&
         (options->b_mode == "1" || options->b_mode == "2");
}

// Sends fd 1 to /dev/null for the lifetime of the object; stdio and iostream
// buffers are flushed on both edges so nothing crosses over.
class SilencedStdout {
 public:
  SilencedStdout() {
    std::cout.flush();
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null_fd >= 0) ::dup2(null_fd, STDOUT_FILENO);
    if (null_fd >= 0) ::close(null_fd);
  }
  ~SilencedStdout() {
    std::cout.flush();
    std::fflush(stdout);
    if (saved_ >= 0) {
      ::dup2(saved_, STDOUT_FILENO);
      ::close(saved_);
    }
  }
  SilencedStdout(const SilencedStdout&) = delete;
  SilencedStdout& operator=(const SilencedStdout&) = delete;

 private:
  int saved_ = -1;
};

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// "Name:  value kB" lines of /proc/self/status; -1 when absent.
long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
    }
  }
  return -1;
}

// The machine's count of UDP datagrams dropped for a full receive buffer
// (RcvbufErrors in /proc/net/snmp); -1 when unknown.
long UdpReceiveBufferErrors() {
  std::ifstream snmp("/proc/net/snmp");
  std::string names, values;
  while (std::getline(snmp, names) && std::getline(snmp, values)) {
    if (names.compare(0, 4, "Udp:") != 0) continue;
    std::istringstream name_fields(names), value_fields(values);
    std::string name, value;
    while (name_fields >> name && value_fields >> value) {
      if (name == "RcvbufErrors") return std::strtol(value.c_str(), nullptr, 10);
    }
  }
  return -1;
}

// User plus system CPU seconds of `root` and all its descendants (the agent
// script, its snmpd and snmpd's pass_persist backend).
double ProcessTreeCpuSeconds(pid_t root) {
  struct Entry {
    pid_t pid;
    pid_t parent;
    unsigned long long ticks;
  };
  std::vector<Entry> entries;
  for (const auto& dir : std::filesystem::directory_iterator("/proc")) {
    const std::string name = dir.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream file(dir.path() / "stat");
    std::string text;
    if (!std::getline(file, text)) continue;
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    // Fields after the command: state ppid pgrp session tty tpgid flags minflt
    // cminflt majflt cmajflt utime stime ...
    std::string state;
    long parent = 0;
    std::string skip;
    unsigned long long utime = 0, stime = 0;
    fields >> state >> parent;
    for (int i = 0; i < 9; ++i) fields >> skip;
    fields >> utime >> stime;
    if (!fields) continue;
    entries.push_back(
        {static_cast<pid_t>(std::stol(name)), static_cast<pid_t>(parent), utime + stime});
  }
  std::set<pid_t> tree = {root};
  for (bool grown = true; grown;) {
    grown = false;
    for (const Entry& entry : entries) {
      if (tree.count(entry.parent) != 0 && tree.insert(entry.pid).second) grown = true;
    }
  }
  unsigned long long ticks = 0;
  for (const Entry& entry : entries) {
    if (tree.count(entry.pid) != 0) ticks += entry.ticks;
  }
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double position = fraction * static_cast<double>(values.size() - 1);
  const std::size_t below = static_cast<std::size_t>(position);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double weight = position - static_cast<double>(below);
  return values[below] * (1.0 - weight) + values[above] * weight;
}

double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

// The walk without the plug-in: the same requests over the same API, with
// nothing stored. One session per pass, opened and closed like the plug-in
// does.
class BareWalker {
 public:
  explicit BareWalker(const std::string& peer) : peer_(peer) {
    std::copy(std::begin(kCommunity), std::end(kCommunity), community_);
    snmp_sess_init(&settings_);
    settings_.version = SNMP_VERSION_2c;
    settings_.community = reinterpret_cast<u_char*>(community_);
    settings_.community_len = std::strlen(community_);
    settings_.timeout = kTimeoutMicroseconds;
    settings_.retries = kRetries;
    settings_.peername = peer_.data();
  }
  BareWalker(const BareWalker&) = delete;
  BareWalker& operator=(const BareWalker&) = delete;

  // One walk of the table; returns the number of requests sent, negated when
  // the session could not be opened or a request failed.
  int Pass() {
    void* session = snmp_sess_open(&settings_);
    if (session == nullptr) return -1;
    snmp_sess_session(session)->timeout = kTimeoutMicroseconds;

    oid cursor[MAX_OID_LEN];
    std::copy(std::begin(kTableRoot), std::end(kTableRoot), cursor);
    std::size_t cursor_length = std::size(kTableRoot);
    int requests = 0;
    bool failed = false;
    bool running = true;
    while (running && requests < kMaxRequestsPerPass) {
      running = false;
      netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
      if (request == nullptr) {
        failed = true;
        break;
      }
      request->non_repeaters = kNonRepeaters;
      request->max_repetitions = kMaxRepetitions;
      snmp_add_null_var(request, cursor, cursor_length);
      netsnmp_pdu* response = nullptr;
      ++requests;
      const int status = snmp_sess_synch_response(session, request, &response);
      if (status != STAT_SUCCESS || response == nullptr) {
        failed = true;
      } else if (response->errstat == SNMP_ERR_NOERROR) {
        for (const netsnmp_variable_list* binding = response->variables; binding != nullptr;
             binding = binding->next_variable) {
          running = InTable(*binding) && !IsException(binding->type);
          if (!running) break;
          if (binding->next_variable == nullptr && binding->name_length <= MAX_OID_LEN) {
            std::copy(binding->name, binding->name + binding->name_length, cursor);
            cursor_length = binding->name_length;
          }
        }
      }
      if (response != nullptr) snmp_free_pdu(response);
    }
    snmp_sess_close(session);
    return failed ? -requests : requests;
  }

 private:
  static bool InTable(const netsnmp_variable_list& binding) {
    return binding.name != nullptr && binding.name_length >= std::size(kTableRoot) &&
           std::equal(std::begin(kTableRoot), std::end(kTableRoot), binding.name);
  }
  static bool IsException(u_char type) {
    return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
  }

  char community_[sizeof kCommunity] = {};
  std::string peer_;
  netsnmp_session settings_{};
};

std::unique_ptr<QTXSocketDevice> NewDevice(const qtxhost::PluginLibrary& plugin, unsigned int id,
                                           const std::string& address, const char* use_thread,
                                           const std::string& b_mode) {
  std::unique_ptr<QTXSocketDevice> device(plugin.SocketDeviceProvider()->create());
  Json::Value config(Json::objectValue);
  config["address"] = address;
  config["appSetting"] = Json::Value(Json::objectValue);
  config["appSetting"]["use_thread"] = use_thread;
  config["appSetting"]["b_mode"] = b_mode;
  device->Init(std::weak_ptr<QTXController>(), id, config);
  return device;
}

// SendSP calls recorded for `device` that carried a whole record.
std::size_t PublishedRecords(const QTXVDevice& device) {
  std::size_t count = 0;
  for (const HostCall& call : qtxhost::RecordedCalls(device)) {
    count += call.kind == HostCall::Kind::kSendSP && call.length == sizeof(SNMP_VARNO_PDU_Data_t) &&
             call.bytes.size() == sizeof(SNMP_VARNO_PDU_Data_t);
  }
  return count;
}

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

struct CountResult {
  long plugin_requests = -1;
  long bare_requests = -1;
  int bare_own_count = 0;
  std::size_t plugin_records = 0;
  std::size_t calls_per_cycle = 0;  // host calls of one plug-in record cycle
};

// One pass of each side against an agent that logs its backend requests;
// each GETBULK (one non-repeater binding) makes exactly one backend getnext.
CountResult CountingPasses(const Options& options, const qtxhost::PluginLibrary& plugin) {
  char pattern[] = "/tmp/pdu-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  const std::string dir = pattern;
  const std::string log = dir + "/requests.log";
  CountResult result;
  try {
    pdu_agent::PduAgentOptions agent_options;
    agent_options.request_log = log;
    pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, agent_options);
    BareWalker bare(agent.address());
    std::unique_ptr<QTXSocketDevice> device;
    {
      SilencedStdout silenced;
      device = NewDevice(plugin, 1, agent.address(), "0", options.b_mode);
      const std::size_t start = pdu_agent::CountRequestLogLines(log, "getnext");
      device->RefreshStatus();
      const std::size_t after_plugin = pdu_agent::CountRequestLogLines(log, "getnext");
      result.bare_own_count = bare.Pass();
      const std::size_t after_bare = pdu_agent::CountRequestLogLines(log, "getnext");
      result.plugin_requests = static_cast<long>(after_plugin - start);
      result.bare_requests = static_cast<long>(after_bare - after_plugin);
    }
    result.plugin_records = PublishedRecords(*device);
    result.calls_per_cycle = qtxhost::RecordedCalls(*device).size();
    device.reset();
    agent.Stop();
  } catch (...) {
    std::filesystem::remove_all(dir);
    throw;
  }
  std::filesystem::remove_all(dir);
  return result;
}

struct Samples {
  std::vector<double> wall;  // seconds per pass
  std::vector<double> cpu;   // process CPU seconds per pass
};

struct PassResult {
  Samples plugin;
  Samples bare;
  std::size_t plugin_records = 0;  // records the measured plug-in passes published
  int bare_bad_passes = 0;         // bare passes without exactly 32 successful requests
  double agent_cpu_seconds = 0.0;  // agent tree, over the measured passes of both sides
  double total_wall_seconds = 0.0;
};

template <typename Pass>
void Measure(Samples* samples, Pass&& pass) {
  const Clock::time_point wall_start = Clock::now();
  const double cpu_start = ProcessCpuSeconds();
  pass();
  const double cpu_end = ProcessCpuSeconds();
  const Clock::time_point wall_end = Clock::now();
  samples->wall.push_back(Seconds(wall_end - wall_start));
  samples->cpu.push_back(cpu_end - cpu_start);
}

PassResult PassTimes(const Options& options, const qtxhost::PluginLibrary& plugin,
                     const pdu_agent::PduAgentProcess& agent) {
  PassResult result;
  SilencedStdout silenced;
  auto device = NewDevice(plugin, 2, agent.address(), "0", options.b_mode);
  BareWalker bare(agent.address());

  // The host's record of the device's calls is read and emptied after every
  // plug-in pass, outside the timed part, so it does not grow.
  const auto run_plugin = [&](Samples* samples) {
    if (samples != nullptr) {
      Measure(samples, [&] { device->RefreshStatus(); });
      result.plugin_records += PublishedRecords(*device);
    } else {
      device->RefreshStatus();
    }
    qtxhost::ClearRecordedCalls(*device);
  };
  const auto run_bare = [&](Samples* samples) {
    int requests = 0;
    if (samples != nullptr) {
      Measure(samples, [&] { requests = bare.Pass(); });
      result.bare_bad_passes += requests != kExpectedRequests;
    } else {
      bare.Pass();
    }
  };

  for (int i = 0; i < options.warmup; ++i) {
    run_plugin(nullptr);
    run_bare(nullptr);
  }
  const double agent_cpu_start = ProcessTreeCpuSeconds(agent.pid());
  const Clock::time_point start = Clock::now();
  // ABBA blocks: a, b, b, a, then b, a, a, b, ... so that neither side
  // always goes first and a linear drift costs both the same. The i-th pass
  // of each side lies in the same block.
  for (int slot = 0; slot < 2 * options.passes; ++slot) {
    const int position = slot % 4;
    const bool even_block = (slot / 4) % 2 == 0;
    if ((position == 0 || position == 3) == even_block) {
      run_plugin(&result.plugin);
    } else {
      run_bare(&result.bare);
    }
  }
  result.total_wall_seconds = Seconds(Clock::now() - start);
  result.agent_cpu_seconds = ProcessTreeCpuSeconds(agent.pid()) - agent_cpu_start;
  return result;
}

struct MemoryResult {
  long rss_before_kib = -1;
  long rss_after_kib = -1;
  long vm_before_kib = -1;
  long vm_half_kib = -1;  // once the first half of the devices is created
  long vm_after_kib = -1;
  long threads_before = -1;
  long threads_after = -1;
  int devices_without_record = 0;
  std::size_t records_at_reading = 0;  // SendSP calls held by the host's record
  std::size_t cycles = 0;              // record cycles run by all devices until the reading
  std::size_t recorded_calls = 0;
  std::size_t recorded_kib = 0;
  double wait_seconds = 0.0;
  double destroy_seconds = 0.0;
  std::vector<double> first_record_seconds;  // per device, from the first creation
  long udp_receive_errors_before = -1;
  long udp_receive_errors_after = -1;
};

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

double Ms(double seconds) { return seconds * 1e3; }

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    Usage();
    return 2;
  }
  const Clock::time_point program_start = Clock::now();
  bool behaved = true;
  try {
    qtxhost::PluginLibrary plugin(options.plugin);
    std::printf("pdu-bench: plug-in %s, b_mode %s, default table %s/pdu-table.txt\n",
                options.plugin.c_str(), options.b_mode.c_str(), PDU_SIM_DIR);

    const CountResult count = CountingPasses(options, plugin);
    std::printf(
        "requests per pass (agent's request log, one counting pass each): plug-in %ld, bare %ld "
        "(bare loop's own count %d); plug-in records published: %zu, host calls per cycle: %zu\n",
        count.plugin_requests, count.bare_requests, count.bare_own_count, count.plugin_records,
        count.calls_per_cycle);
    if (count.plugin_requests != kExpectedRequests || count.bare_requests != kExpectedRequests ||
        count.bare_own_count != kExpectedRequests || count.plugin_records != 1) {
      std::printf(
          "UNEXPECTED: both sides should send %d requests and the plug-in publish 1 record\n",
          kExpectedRequests);
      behaved = false;
    }

    pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, {});
    std::printf("agent %s (no request log) for the timed passes\n", agent.address().c_str());
    std::fflush(stdout);

    const PassResult passes = PassTimes(options, plugin, agent);
    const double plugin_wall = Median(passes.plugin.wall);
    const double bare_wall = Median(passes.bare.wall);
    const double plugin_cpu = Median(passes.plugin.cpu);
    const double bare_cpu = Median(passes.bare.cpu);
    std::printf("timed passes: %d warm-up pairs, then %d passes each in ABBA blocks, %.1f s\n",
                options.warmup, options.passes, passes.total_wall_seconds);
    for (const auto& [name, samples] :
         {std::pair<const char*, const Samples*>{"(a) plug-in RefreshStatus (walk + record cycle):",
                                                 &passes.plugin},
          std::pair<const char*, const Samples*>{"(b) bare net-snmp walk (stores nothing):       ",
                                                 &passes.bare}}) {
      double cpu_sum = 0.0;
      for (double cpu : samples->cpu) cpu_sum += cpu;
      std::printf(
          "%s median %.3f ms wall (p10 %.3f, p90 %.3f, min %.3f); CPU median %.3f ms, mean %.3f "
          "ms per pass\n",
          name, Ms(Median(samples->wall)), Ms(Percentile(samples->wall, 0.1)),
          Ms(Percentile(samples->wall, 0.9)), Ms(Percentile(samples->wall, 0.0)),
          Ms(Median(samples->cpu)), Ms(cpu_sum / static_cast<double>(samples->cpu.size())));
    }
    std::vector<double> wall_pairs, cpu_pairs;
    for (std::size_t i = 0; i < passes.plugin.wall.size() && i < passes.bare.wall.size(); ++i) {
      wall_pairs.push_back(passes.plugin.wall[i] - passes.bare.wall[i]);
      cpu_pairs.push_back(passes.plugin.cpu[i] - passes.bare.cpu[i]);
    }
    std::printf(
        "a - b: medians differ by %.3f ms wall, %.3f ms CPU per pass; median of the differences "
        "within each block: %.3f ms wall, %.3f ms CPU\n",
        Ms(plugin_wall - bare_wall), Ms(plugin_cpu - bare_cpu), Ms(Median(wall_pairs)),
        Ms(Median(cpu_pairs)));
    std::printf(
        "agent (snmpd + pass_persist backend) CPU: %.3f ms per pass, %.1f us per request "
        "(both sides together, 10 ms tick resolution over %.1f s)\n",
        Ms(passes.agent_cpu_seconds / (2.0 * options.passes)),
        passes.agent_cpu_seconds * 1e6 / (2.0 * options.passes * kExpectedRequests),
        passes.total_wall_seconds);
    std::printf(
        "plug-in passes that published a record: %zu of %d; bare passes without %d "
        "successful requests: %d\n",
        passes.plugin_records, options.passes, kExpectedRequests, passes.bare_bad_passes);
    if (passes.plugin_records != static_cast<std::size_t>(options.passes) ||
        passes.bare_bad_passes != 0) {
      std::printf("UNEXPECTED: a timed pass misbehaved\n");
      behaved = false;
    }
    std::fflush(stdout);

    if (options.devices > 0) {
      const MemoryResult memory = ThreadedMemory(options, plugin, agent, count.calls_per_cycle);
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
          Median(memory.first_record_seconds), Percentile(memory.first_record_seconds, 1.0),
          dropped,
          dropped > 0 ? " (a device whose request was dropped waits out the 10 s time-out, then "
                        "asks again)"
                      : "");
      std::printf("  devices without a record within %lld s: %d; destroying them took %.2f s\n",
                  static_cast<long long>(kFirstRecordTimeout.count()),
                  memory.devices_without_record, memory.destroy_seconds);
      if (memory.devices_without_record != 0) behaved = false;
    }

    thread_costs::StackFigures stack;
    double deletion = 0.0;
    {
      SilencedStdout silenced;
      stack = thread_costs::MeasureStack(plugin, agent.address(), options.b_mode);
      deletion = thread_costs::DeleteWaitingOnSilence(plugin, 10);
    }
    std::printf(
        "stack: the deepest pass (walk, record cycle in b_mode %s, reference host calls) used "
        "%.1f KiB; a sampling thread gets %.0f KiB, %.0f times that\n",
        options.b_mode.c_str(), static_cast<double>(stack.deepest_pass_bytes) / 1024,
        static_cast<double>(stack.sampling_stack_bytes) / 1024,
        static_cast<double>(stack.sampling_stack_bytes) /
            static_cast<double>(std::max<std::size_t>(stack.deepest_pass_bytes, 1)));
    std::printf(
        "deleting 10 threaded devices, each waiting on its first request to a silent PDU: %.1f "
        "ms%s\n",
        Ms(std::abs(deletion)), deletion < 0 ? " (not every request was seen first)" : "");
    std::fflush(stdout);

    if (!options.armhf_dir.empty()) {
      const thread_costs::ArmhfFigures armhf = thread_costs::ArmhfThreadedDevices(
          options.armhf_dir, agent.address(), options.armhf_devices, options.armhf_seconds);
      if (!armhf.ran) {
        std::printf("armhf: no %s/pdu-host; skipped\n", options.armhf_dir.c_str());
      } else {
        std::printf(
            "armhf (pdu-host under qemu-arm, one process, %d threaded devices on this agent): %d "
            "configured with their sampling thread started, %d published a record within %d s "
            "(exit status %d, %.1f s)\n",
            options.armhf_devices, armhf.configured, armhf.published, options.armhf_seconds,
            armhf.exit_status, armhf.seconds);
        if (!armhf.first_problem.empty()) {
          std::printf("  first line on its standard error: %s\n", armhf.first_problem.c_str());
        }
      }
    }

    agent.Stop();
    std::printf("run time %.1f s\n", Seconds(Clock::now() - program_start));
    std::printf("plugin/bare pass time ratio: %.3f\n", plugin_wall / bare_wall);
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::cerr << "pdu-bench: " << e.what() << '\n';
    return 2;
  }
  return behaved ? 0 : 1;
}
