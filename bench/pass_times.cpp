#include "pass_times.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "bare_walker.h"
#include "bench_clock.h"
#include "driver/v3/snmp_credentials.h"
#include "host_calls.h"
#include "percentile.h"
#include "plugin_device.h"
#include "proc_readers.h"
#include "silenced_stdout.h"
#include "v3_user.h"

namespace bench {
namespace {

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

}  // namespace

PassResult PassTimes(const Options& options, const qtxhost::PluginLibrary& plugin,
                     const pdu_agent::PduAgentProcess& agent) {
  PassResult result;
  SilencedStdout silenced;
  auto device = NewDevice(plugin, 2, agent.address(), "0", options.b_mode);
  auto v3_device = NewDevice(plugin, 3, agent.address(), "0", options.b_mode, V3AppSetting());
  BareWalker bare(agent.address());
  BareWalker bare_v3(agent.address(), std::make_shared<const pdu::SessionSecurity>(
                                          pdu::ReadCredentials(V3Config())));

  // The host's record of the device's calls is read and emptied after every
  // plug-in pass, outside the timed part, so it does not grow.
  const auto run_device = [](QTXSocketDevice& polled, Samples* samples, std::size_t* records) {
    if (samples != nullptr) {
      Measure(samples, [&] { polled.RefreshStatus(); });
      *records += PublishedRecords(polled);
    } else {
      polled.RefreshStatus();
    }
    qtxhost::ClearRecordedCalls(polled);
  };
  const auto run_plugin = [&](Samples* samples) {
    run_device(*device, samples, &result.plugin_records);
  };
  const auto run_v3 = [&](Samples* samples) {
    run_device(*v3_device, samples, &result.plugin_v3_records);
  };
  const auto run_bare = [&](BareWalker& walker, Samples* samples) {
    int requests = 0;
    if (samples != nullptr) {
      Measure(samples, [&] { requests = walker.Pass(); });
      result.bare_bad_passes += requests != kExpectedRequests;
    } else {
      walker.Pass();
    }
  };

  for (int i = 0; i < options.warmup; ++i) {
    run_plugin(nullptr);
    run_bare(bare, nullptr);
    run_v3(nullptr);
    run_bare(bare_v3, nullptr);
  }
  const double agent_cpu_start = ProcessTreeCpuSeconds(agent.pid());
  const Clock::time_point start = Clock::now();
  // Blocks a, b, c, d, d, c, b, a: no side always goes first, and a linear
  // drift costs each the same. The i-th passes of the sides lie in one block.
  constexpr char kOrder[] = "abcddcba";
  for (int slot = 0; slot < 4 * options.passes; ++slot) {
    switch (kOrder[slot % 8]) {
      case 'a':
        run_plugin(&result.plugin);
        break;
      case 'b':
        run_bare(bare, &result.bare);
        break;
      case 'c':
        run_v3(&result.plugin_v3);
        break;
      default:
        run_bare(bare_v3, &result.bare_v3);
        break;
    }
  }
  result.total_wall_seconds = Seconds(Clock::now() - start);
  result.agent_cpu_seconds = ProcessTreeCpuSeconds(agent.pid()) - agent_cpu_start;
  return result;
}

bool ReportPassTimes(const Options& options, const PassResult& passes) {
  bool behaved = true;
  const double plugin_wall = Median(passes.plugin.wall);
  const double bare_wall = Median(passes.bare.wall);
  const double plugin_cpu = Median(passes.plugin.cpu);
  const double bare_cpu = Median(passes.bare.cpu);
  std::printf("timed passes: %d warm-up rounds, then %d passes each in blocks abcddcba, %.1f s\n",
              options.warmup, options.passes, passes.total_wall_seconds);
  for (const auto& [name, samples] :
       {std::pair<const char*, const Samples*>{"(a) plug-in RefreshStatus (walk + record cycle):",
                                               &passes.plugin},
        std::pair<const char*, const Samples*>{"(b) bare net-snmp walk (stores nothing):       ",
                                               &passes.bare},
        std::pair<const char*, const Samples*>{"(c) plug-in, SNMP v3 authPriv SHA-256/AES:     ",
                                               &passes.plugin_v3},
        std::pair<const char*, const Samples*>{"(d) bare walk, SNMP v3 authPriv SHA-256/AES:   ",
                                               &passes.bare_v3}}) {
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
      "CPU medians: plug-in over bare walk %.3f (v2c), %.3f (v3); v3 authPriv over v2c: plug-in "
      "pass %.3f (wall %.3f), bare walk %.3f\n",
      plugin_cpu / bare_cpu, Median(passes.plugin_v3.cpu) / Median(passes.bare_v3.cpu),
      Median(passes.plugin_v3.cpu) / plugin_cpu, Median(passes.plugin_v3.wall) / plugin_wall,
      Median(passes.bare_v3.cpu) / bare_cpu);
  std::printf(
      "agent (snmpd + pass_persist backend) CPU: %.3f ms per pass, %.1f us per request "
      "(all four sides together, 10 ms tick resolution over %.1f s)\n",
      Ms(passes.agent_cpu_seconds / (4.0 * options.passes)),
      passes.agent_cpu_seconds * 1e6 / (4.0 * options.passes * kExpectedRequests),
      passes.total_wall_seconds);
  std::printf(
      "plug-in passes that published a record: %zu of %d (v3: %zu); bare passes without %d "
      "successful requests: %d\n",
      passes.plugin_records, options.passes, passes.plugin_v3_records, kExpectedRequests,
      passes.bare_bad_passes);
  if (passes.plugin_records != static_cast<std::size_t>(options.passes) ||
      passes.plugin_v3_records != static_cast<std::size_t>(options.passes) ||
      passes.bare_bad_passes != 0) {
    std::printf("UNEXPECTED: a timed pass misbehaved\n");
    behaved = false;
  }
  std::fflush(stdout);
  return behaved;
}

double PassTimeRatio(const PassResult& passes) {
  return Median(passes.plugin.wall) / Median(passes.bare.wall);
}

}  // namespace bench
