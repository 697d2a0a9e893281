#include "pass_times.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "bare_walker.h"
#include "bench_clock.h"
#include "host_calls.h"
#include "percentile.h"
#include "plugin_device.h"
#include "proc_readers.h"
#include "silenced_stdout.h"

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

bool ReportPassTimes(const Options& options, const PassResult& passes) {
  bool behaved = true;
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
  return behaved;
}

double PassTimeRatio(const PassResult& passes) {
  return Median(passes.plugin.wall) / Median(passes.bare.wall);
}

}  // namespace bench
