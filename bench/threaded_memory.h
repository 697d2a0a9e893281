// pdu-bench, third figure: what threaded devices cost in memory. Resident
// memory, address space and threads before and after creating
// Options::devices threaded devices, read once every device has published
// its first record (at most kFirstRecordTimeout after the first creation);
// then the time to destroy them all. The plug-in's console trace goes to
// /dev/null.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

#include "options.h"
#include "plugin_library.h"
#include "sim/pdu_agent_process.h"

namespace bench {

inline constexpr std::chrono::seconds kFirstRecordTimeout{60};

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

// `calls_per_cycle` is the number of host calls one record cycle makes.
MemoryResult ThreadedMemory(const Options& options, const qtxhost::PluginLibrary& plugin,
                            const pdu_agent::PduAgentProcess& agent, std::size_t calls_per_cycle);

// Prints the figures; false when a device published no record in time.
bool ReportThreadedMemory(const Options& options, const MemoryResult& memory);

}  // namespace bench
