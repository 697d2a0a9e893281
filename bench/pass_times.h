// pdu-bench, second figure: the time of one pass. (a) RefreshStatus of a
// polled device (walk and record cycle) against (b) the bare walk, which
// stores nothing, (c) RefreshStatus of a polled device speaking SNMP v3 at
// authPriv (SHA-256, AES) to the same agent and (d) the bare walk speaking
// the same v3: what net-snmp itself spends on v3. Warm-up rounds first, then
// blocks a b c d d c b a, so that drift hits every side alike; wall and
// process CPU time per pass, and the agent's CPU over the measured passes.
// The plug-in's console trace goes to /dev/null. The agent must serve the v3
// user of v3_user.h.
#pragma once

#include <cstddef>
#include <vector>

#include "options.h"
#include "plugin_library.h"
#include "sim/pdu_agent_process.h"

namespace bench {

struct Samples {
  std::vector<double> wall;  // seconds per pass
  std::vector<double> cpu;   // process CPU seconds per pass
};

struct PassResult {
  Samples plugin;
  Samples bare;
  Samples plugin_v3;
  Samples bare_v3;
  std::size_t plugin_records = 0;     // records the measured plug-in passes published
  std::size_t plugin_v3_records = 0;  // the same, of the v3 device
  int bare_bad_passes = 0;            // bare passes without exactly 32 successful requests
  double agent_cpu_seconds = 0.0;     // agent tree, over the measured passes of both sides
  double total_wall_seconds = 0.0;
};

PassResult PassTimes(const Options& options, const qtxhost::PluginLibrary& plugin,
                     const pdu_agent::PduAgentProcess& agent);

// Prints the figures; false (after an UNEXPECTED line) when a measured pass
// published no record or a bare pass failed.
bool ReportPassTimes(const Options& options, const PassResult& passes);

// The plug-in's median wall time per pass over the bare walk's.
double PassTimeRatio(const PassResult& passes);

}  // namespace bench
