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
//     nothing; (c) and (d) the same two speaking SNMP v3 authPriv (SHA-256,
//     AES). Warm-up rounds first, then blocks abcddcba so drift hits every
//     side alike; wall and process CPU time per pass, medians reported.
//     Then what InitSetting costs with v3 credentials and without.
//  3. Resident memory and address space: VmRSS and VmSize before and after
//     creating N threaded devices, read once every device has published its
//     first record.
//  4. Threads: the deepest stack one pass uses and the stack a sampling
//     thread gets; the time to delete 10 threaded devices whose requests
//     wait on a silent PDU; and, given --armhf-dir, how many threaded devices
//     one armhf pdu-host process under qemu-arm starts and hears from.
//  5. Site surveys: pdu-host --survey of --survey-pdus PDUs, --survey-dead
//     of them dead, speaking v2c, then v3 authPriv, then v3 authPriv with a
//     third of the live PDUs answering with one engine ID; each one's wall
//     time, PDUs per second, peak memory and states.
//
// The plug-in's console trace goes to /dev/null while it runs (fd 1 is
// redirected); results are printed to the original stdout, and the last line
// is always "plugin/bare pass time ratio: R". Figures only, no limits are
// enforced; the exit status is 1 when a pass does not behave as expected
// (wrong request count, no record), 2 on a setup failure.
//
// Each figure has its unit: counting_passes (1), pass_times against
// bare_walker and init_setting_cost (2), threaded_memory (3), thread_costs (4),
// site_surveys with survey_site and v3_site_agents (5). This file runs
// them in that order and prints the header, the stack and armhf lines and
// the closing ratio.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <iostream>

#include "bench_clock.h"
#include "counting_passes.h"
#include "init_setting_cost.h"
#include "options.h"
#include "pass_times.h"
#include "plugin_library.h"
#include "silenced_stdout.h"
#include "sim/pdu_agent_process.h"
#include "site_surveys.h"
#include "support/pdu_host_run.h"
#include "thread_costs.h"
#include "threaded_memory.h"
#include "v3_user.h"

using namespace bench;

// Fresh devices configured for the InitSetting figure, per kind.
constexpr int kInitSettingDevices = 20;

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
    behaved = ReportCountingPasses(count) && behaved;

    // The timed agent answers community tundra and the v3 user.
    pdu_host_run::TempDir folder;
    pdu_agent::PduAgentOptions agent_options;
    agent_options.community = "tundra";
    agent_options.v3_users = folder.Write("users", V3UsersLine());
    pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, agent_options);
    std::printf("agent %s (no request log) for the timed passes\n", agent.address().c_str());
    std::fflush(stdout);

    const PassResult passes = PassTimes(options, plugin, agent);
    behaved = ReportPassTimes(options, passes) && behaved;
    ReportInitSetting(MeasureInitSetting(plugin, agent.address(), kInitSettingDevices),
                      kInitSettingDevices);

    if (options.devices > 0) {
      const MemoryResult memory = ThreadedMemory(options, plugin, agent, count.calls_per_cycle);
      behaved = ReportThreadedMemory(options, memory) && behaved;
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
    if (options.survey_pdus > 0) {
      behaved = SiteSurveys(options.survey_host, static_cast<std::size_t>(options.survey_pdus),
                            static_cast<std::size_t>(options.survey_dead)) &&
                behaved;
    }
    std::printf("run time %.1f s\n", Seconds(Clock::now() - program_start));
    std::printf("plugin/bare pass time ratio: %.3f\n", PassTimeRatio(passes));
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::cerr << "pdu-bench: " << e.what() << '\n';
    return 2;
  }
  return behaved ? 0 : 1;
}
