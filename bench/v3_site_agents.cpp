#include "v3_site_agents.h"

#include <cstdio>

#include "v3_user.h"

namespace bench {
namespace {

// Engine IDs in net-snmp's text format, enterprise 8072 (net-snmp), then
// the bench's own bytes; the one the sharing agents answer with is last.
std::string EngineId(std::size_t index) {
  char text[40];
  std::snprintf(text, sizeof text, "0x80001f88806265%08zx", index);
  return text;
}
constexpr std::size_t kSharedEngine = 0xffffffff;

std::vector<std::string> FirstAddresses(
    const std::vector<std::unique_ptr<pdu_agent::PduAgentProcess>>& agents, std::size_t count) {
  std::vector<std::string> addresses;
  for (const auto& agent : agents) {
    for (const std::string& address : agent->addresses()) {
      if (addresses.size() == count) return addresses;
      addresses.push_back(address);
    }
  }
  return addresses;
}

}  // namespace

V3SiteAgents::V3SiteAgents(std::size_t own, std::size_t shared, std::size_t ports) {
  const std::string users = folder_.Write("users", V3UsersLine());
  const auto start = [&](std::size_t index, const std::string& engine_id, int boots) {
    pdu_agent::PduAgentOptions options;
    options.v3_users = users;
    options.more_ports = ports - 1;
    options.state_dir = folder_.path() + "/agent" + std::to_string(index);
    options.engine_id = engine_id;
    options.engine_boots = boots;
    return std::make_unique<pdu_agent::PduAgentProcess>(PDU_SIM_DIR, options);
  };
  for (std::size_t i = 0; i < own; ++i) own_.push_back(start(i, EngineId(i), 1));
  for (std::size_t i = 0; i < shared; ++i) {
    shared_.push_back(start(own + i, EngineId(kSharedEngine), static_cast<int>(i) + 1));
  }
}

std::vector<std::string> V3SiteAgents::OwnEngineAddresses(std::size_t count) const {
  return FirstAddresses(own_, count);
}

std::vector<std::string> V3SiteAgents::SharedEngineAddresses(std::size_t count) const {
  return FirstAddresses(shared_, count);
}

}  // namespace bench
