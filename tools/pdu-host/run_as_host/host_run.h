// One run of pdu-host: the host's life cycle around the plug-in.
//
// Checks every input first (the configuration's structure, cache file,
// events file, that --record's and --cache-out's files can be written,
// plug-in, one device with an address for --record) and returns 2 when any
// is bad, before a device exists: one line on stderr, or for a configuration
// whose structure is broken every finding in it (check_run.h). Otherwise the
// configuration's findings are printed as warnings, Ctrl-C and SIGTERM are
// caught (interruption.h), the plug-in's console is
// captured (console_capture.h) and: get_providers once, one device per
// configured entry (registered with the observer, then Init with the whole
// device object), the cache record through LoadFromCache(std::string) on
// each device, RefreshStatus `passes` times on each polled device (pass by
// pass over the devices), and a bounded wait for the threaded ones. Then the
// devices are destroyed one by one (joining their threads), the observer
// removed, the providers released, the library unloaded and the console
// given back. Finally --explain and --record walk the tables again
// (explain_run.h), --cache-out is written and the run summary printed
// (run_summary.h).
//
// Returns 0 when every device published its passes and the last pass of each
// got an answer; 1 when one fell short, a last pass had no answer, a problem
// line could not be tied to one device, a pass threw, a walk for --explain
// or --record stopped early, --explain found fields not stored or an output
// file could not be written; 2 for bad input. Interrupted, the run stops
// polling and waiting at once (a polled pass under way is abandoned:
// polled_pass_stop.h), publishes nothing more, skips --explain and
// --record, writes --cache-out and the summary as far as it got, and
// returns kExitInterrupted.
#pragma once

#include <string>

#include "configuration/host_config.h"

namespace pdu_host {

// What the command line asks of an ordinary run.
struct HostRunRequest {
  std::string plugin_path;  // empty: snmp_varno_pdu.so beside the executable
  unsigned passes = 1;      // records each device should publish
  double seconds = 30;      // bound of the wait for threaded devices
  std::string events_path;
  std::string cache_in_path;
  std::string cache_out_path;
  bool explain = false;     // walk each table again and explain it
  std::string record_path;  // write that walk as the simulator's data file
};

// The plug-in beside this program's executable (/proc/self/exe); throws
// std::runtime_error when the executable's path cannot be read.
std::string DefaultPluginPath();

// `config` as read from `config_path` (empty for --address's device),
// named `source` in messages.
int RunHost(const HostRunRequest& request, const HostConfig& config, const std::string& source,
            const std::string& config_path);

}  // namespace pdu_host
