// pdu-bench, first figure: what one pass costs on the wire. Against an agent
// that logs every backend request (each GETBULK with one non-repeater
// binding makes exactly one backend getnext), one plug-in pass and one bare
// pass must each send kExpectedRequests requests, and the plug-in's pass
// publish one record.
#pragma once

#include <cstddef>

#include "options.h"
#include "plugin_library.h"

namespace bench {

struct CountResult {
  long plugin_requests = -1;
  long bare_requests = -1;
  int bare_own_count = 0;
  std::size_t plugin_records = 0;
  std::size_t calls_per_cycle = 0;  // host calls of one plug-in record cycle
};

// Starts its own agent with a request log in a temporary folder, removed
// afterwards. Throws std::runtime_error when the agent does not start.
CountResult CountingPasses(const Options& options, const qtxhost::PluginLibrary& plugin);

// Prints the figures; false (after an UNEXPECTED line) when a pass did not
// cost what it should.
bool ReportCountingPasses(const CountResult& count);

}  // namespace bench
