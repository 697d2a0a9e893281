// pdu-bench: the simulated PDUs of the SNMP v3 surveys. One agent (one
// snmpd) answers the bench's v3 user (v3_user.h) on `ports` loopback ports
// with one engine ID, so a site has as many engine IDs as agents: `own`
// agents with an engine ID each, and `shared` agents that all answer with
// one engine ID, each with boots of its own, as PDUs made from one image.
// The agents are started one after the other by the constructor (which
// throws when one does not come up) and stopped by the destructor.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sim/pdu_agent_process.h"
#include "support/pdu_host_run.h"

namespace bench {

class V3SiteAgents {
 public:
  V3SiteAgents(std::size_t own, std::size_t shared, std::size_t ports);
  V3SiteAgents(const V3SiteAgents&) = delete;
  V3SiteAgents& operator=(const V3SiteAgents&) = delete;

  // The first `count` addresses of the agents with an engine ID each, agent
  // after agent.
  std::vector<std::string> OwnEngineAddresses(std::size_t count) const;
  // The first `count` addresses of the agents sharing one engine ID.
  std::vector<std::string> SharedEngineAddresses(std::size_t count) const;

 private:
  pdu_host_run::TempDir folder_;
  std::vector<std::unique_ptr<pdu_agent::PduAgentProcess>> own_;
  std::vector<std::unique_ptr<pdu_agent::PduAgentProcess>> shared_;
};

}  // namespace bench
