// pdu-bench: what a threaded device costs beyond memory: the stack its
// sampling thread needs and gets, how fast devices waiting on silent PDUs are
// deleted, and how many threaded devices one armhf process starts.
#pragma once

#include <string>

#include "plugin_library.h"

namespace thread_costs {

struct StackFigures {
  std::size_t deepest_pass_bytes = 0;    // one polled pass on a patterned stack
  std::size_t sampling_stack_bytes = 0;  // read on a device's own sampling thread
};
// Both against the agent at `address`, devices in `b_mode`.
StackFigures MeasureStack(const qtxhost::PluginLibrary& plugin, const std::string& address,
                          const std::string& b_mode);

// Seconds to delete `devices` threaded devices, each waiting on its first
// request to a loopback port that never answers; negative when the requests
// were not all seen within a few seconds.
double DeleteWaitingOnSilence(const qtxhost::PluginLibrary& plugin, int devices);

struct ArmhfFigures {
  bool ran = false;           // the armhf host could be run at all
  int configured = 0;         // devices whose InitSetting returned
  int published = 0;          // devices with a record within the wait
  int exit_status = -1;       // pdu-host's, -1 when it was killed
  std::string first_problem;  // the first line on pdu-host's standard error
  double seconds = 0.0;
};
// Runs `armhf_dir`/pdu-host under qemu-arm (root `armhf_dir`/sysroot) with
// `devices` threaded devices polling `address`, waiting `wait_seconds` for
// each to publish one record.
ArmhfFigures ArmhfThreadedDevices(const std::string& armhf_dir, const std::string& address,
                                  int devices, int wait_seconds);

}  // namespace thread_costs
