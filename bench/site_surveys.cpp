#include "site_surveys.h"

#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "sim/pdu_agent_process.h"
#include "survey_site.h"
#include "v3_site_agents.h"
#include "v3_user.h"

namespace bench {
namespace {

// Agents with an engine ID each: 30 start in well under a minute and share
// 2 cores with pdu-host while it surveys; a larger site gives each more
// ports rather than starting more.
constexpr std::size_t kOwnEngineAgents = 30;

std::size_t CeilDiv(std::size_t a, std::size_t b) { return (a + b - 1) / b; }

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

bool SiteSurveys(const std::string& pdu_host, std::size_t pdus, std::size_t dead) {
  const std::size_t live = pdus - dead;
  const std::string site =
      std::to_string(pdus) + " PDUs, " + std::to_string(dead) + " of them dead, ";
  bool right = true;

  SurveyFigures v2c;
  {
    pdu_agent::PduAgentOptions options;
    options.more_ports = live - 1;
    pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, options);
    v2c = SurveySite(pdu_host, agent.addresses(), dead);
  }
  right = ReportSurveySite("survey (" + pdu_host + "), SNMP v2c: " + site + "the other " +
                               std::to_string(live) + " on one agent (one snmpd serving " +
                               std::to_string(live) + " ports)",
                           dead, v2c) &&
          right;

  // A third of the live PDUs answer with one engine ID in the second v3
  // survey; the others come from the agents with an engine ID each.
  const std::size_t sharing = live / 3;
  const std::size_t ports = CeilDiv(live, kOwnEngineAgents);
  const std::size_t own_agents = CeilDiv(live, ports);
  const std::size_t shared_agents = CeilDiv(sharing, ports);
  const Clock::time_point start = Clock::now();
  const V3SiteAgents agents(own_agents, shared_agents, ports);
  std::printf("v3 site: %zu agents of %zu ports started in %.1f s\n", own_agents + shared_agents,
              ports, Seconds(Clock::now() - start));
  std::fflush(stdout);
  const std::string v3 = "SNMP v3 authPriv SHA-256/AES: ";

  const SurveyFigures own =
      SurveySite(pdu_host, agents.OwnEngineAddresses(live), dead, V3AppSetting());
  right = ReportSurveySite("survey, " + v3 + site + "the other " + std::to_string(live) + " on " +
                               Counted(own_agents, "agent", "agents") + " (" +
                               Counted(own_agents, "engine ID", "engine IDs") + ")",
                           dead, own, &v2c) &&
          right;

  std::vector<std::string> mixed = agents.SharedEngineAddresses(sharing);
  const std::vector<std::string> others = agents.OwnEngineAddresses(live - sharing);
  mixed.insert(mixed.end(), others.begin(), others.end());
  const std::size_t mixed_agents = shared_agents + CeilDiv(live - sharing, ports);
  const SurveyFigures shared = SurveySite(pdu_host, mixed, dead, V3AppSetting());
  right = ReportSurveySite("survey, " + v3 + site + "the other " + std::to_string(live) + " on " +
                               Counted(mixed_agents, "agent", "agents") + " (" +
                               Counted(mixed_agents - shared_agents + (shared_agents > 0 ? 1 : 0),
                                       "engine ID", "engine IDs") +
                               "; " + std::to_string(sharing) + " PDUs on " +
                               Counted(shared_agents, "agent", "agents") +
                               " share one, each agent with boots of its own)",
                           dead, shared, &v2c) &&
          right;
  return right;
}

}  // namespace bench
