// pdu-bench, second figure: the time of one pass. (a) RefreshStatus of a
// polled device (walk and record cycle) against (b) the bare walk, which
// stores nothing. Warm-up pairs first, then ABBA blocks so that drift hits
// both sides alike; wall and process CPU time per pass, and the agent's CPU
// over the measured passes. The plug-in's console trace goes to /dev/null.
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
  std::size_t plugin_records = 0;  // records the measured plug-in passes published
  int bare_bad_passes = 0;         // bare passes without exactly 32 successful requests
  double agent_cpu_seconds = 0.0;  // agent tree, over the measured passes of both sides
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
