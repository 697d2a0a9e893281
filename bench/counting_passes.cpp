#include "counting_passes.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "bare_walker.h"
#include "host_calls.h"
#include "plugin_device.h"
#include "silenced_stdout.h"
#include "sim/pdu_agent_process.h"

namespace bench {

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

bool ReportCountingPasses(const CountResult& count) {
  std::printf(
      "requests per pass (agent's request log, one counting pass each): plug-in %ld, bare %ld "
      "(bare loop's own count %d); plug-in records published: %zu, host calls per cycle: %zu\n",
      count.plugin_requests, count.bare_requests, count.bare_own_count, count.plugin_records,
      count.calls_per_cycle);
  if (count.plugin_requests != kExpectedRequests || count.bare_requests != kExpectedRequests ||
      count.bare_own_count != kExpectedRequests || count.plugin_records != 1) {
    std::printf("UNEXPECTED: both sides should send %d requests and the plug-in publish 1 record\n",
                kExpectedRequests);
    return false;
  }
  return true;
}

}  // namespace bench
