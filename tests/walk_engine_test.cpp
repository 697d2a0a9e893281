// pdu-host's walk engine in-process: names looked up side by side, walks in
// waves, an SNMP v2c answer that is a REPORT ending the walk as an answer
// that keeps nothing, and an SNMP v3 walk following a PDU that rebooted.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "configuration/host_config.h"
#include "sim/pdu_agent_process.h"
#include "support/ber.h"
#include "support/pdu_host_run.h"
#include "support/scripted_agent.h"
#include "support/slow_names.h"
#include "verdict/walk_verdict.h"
#include "walk/table_walk.h"
#include "walk/walk_engine.h"

namespace {

using pdu_host::DeviceEntry;
using pdu_host::TableWalk;

TEST(WalkEngine, SlowNamesAreLookedUpSideBySide) {
  pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, {});
  const std::string port = agent.address().substr(agent.address().rfind(':'));
  std::vector<DeviceEntry> entries(16);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].address = (i == 0 ? agent.address() : "3000.slow.test" + port);
  }
  std::vector<const DeviceEntry*> targets;
  for (const DeviceEntry& entry : entries) targets.push_back(&entry);

  std::multiset<std::size_t> ended;
  std::size_t complete = 0;
  pdu_host::WalkEvents events;
  events.ended = [&](std::size_t index, TableWalk&& walk, double) {
    ended.insert(index);
    if (walk.complete && walk.requests == 32) ++complete;
  };
  const auto start = std::chrono::steady_clock::now();
  pdu_host::WalkTables(targets, targets.size(), events);
  const auto took = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(ended.size(), entries.size());
  EXPECT_EQ(std::set<std::size_t>(ended.begin(), ended.end()).size(), entries.size());
  EXPECT_EQ(complete, entries.size());
  // Fifteen lookups of 3 s each, one after the other, would take 45 s.
  EXPECT_LT(took, std::chrono::seconds(20));
}

// A name that does not resolve costs one look-up (not one for IPv4, one for
// IPv6 and one more for the findings), and says so.
TEST(WalkEngine, ANameThatDoesNotResolveIsLookedUpOnce) {
  std::vector<DeviceEntry> entries(1);
  entries[0].address = "2000.nowhere.test:161";
  std::optional<TableWalk> ended;
  pdu_host::WalkEvents events;
  events.ended = [&](std::size_t, TableWalk&& walk, double) { ended = std::move(walk); };
  const int begun = slow_names::SlowLookupsBegun();
  const auto start = std::chrono::steady_clock::now();
  pdu_host::WalkTables({&entries[0]}, 1, events);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(slow_names::SlowLookupsBegun() - begun, 1);
  ASSERT_TRUE(ended);
  EXPECT_EQ(pdu_host::JudgeWalk(*ended).state, pdu_host::SurveyState::kCannotOpen);
  EXPECT_EQ(pdu_host::JudgeWalk(*ended).problem.rfind(
                "the name \"2000.nowhere.test\" does not resolve", 0),
            0u)
      << pdu_host::JudgeWalk(*ended).problem;
}

TEST(WalkEngine, WalksInWavesWhenFewerFitAtOnce) {
  pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, {});
  std::vector<DeviceEntry> entries(5);
  std::vector<const DeviceEntry*> targets;
  for (DeviceEntry& entry : entries) {
    entry.address = agent.address();
    targets.push_back(&entry);
  }
  std::size_t complete = 0;
  pdu_host::WalkEvents events;
  events.ended = [&](std::size_t, TableWalk&& walk, double) { complete += walk.complete; };
  pdu_host::WalkTables(targets, 2, events);
  EXPECT_EQ(complete, entries.size());
}

// net-snmp matches a REPORT to the request like a RESPONSE. The agent
// answered: that is not an address nothing could be sent to.
TEST(WalkEngine, AV2cReportEndsTheWalkAsAnAnswerAndKeepsNothing) {
  ScriptedAgent agent([](const ber::Request& request, int) -> std::optional<ber::Bytes> {
    if (request.names.empty()) return std::nullopt;
    ber::Bytes answer = ber::Response(request.request_id, 0, 0,
                                      {ber::Binding(request.names[0], ber::Integer(2301))});
    const std::string community = "tundra";
    const auto at = std::search(answer.begin(), answer.end(), community.begin(), community.end());
    at[community.size()] = 0xA8;  // the PDU's tag, right after the community
    return answer;
  });
  DeviceEntry entry;
  entry.address = agent.address();
  const TableWalk walk = pdu_host::WalkTable(entry);
  EXPECT_EQ(walk.how, pdu_host::WalkEnd::kAgentStopped) << walk.end;
  EXPECT_EQ(walk.end, "stopped: the answer was a REPORT-PDU, not a RESPONSE-PDU");
  EXPECT_EQ(pdu_host::JudgeWalk(walk).state, pdu_host::SurveyState::kEmptyTable);
  EXPECT_TRUE(walk.objects.empty());
  EXPECT_EQ(walk.requests, 1);
  EXPECT_EQ(agent.requests().size(), 1u);
}

// The second walk knows the PDU's engine from the first, but the PDU has
// restarted with one boot more: its notInTimeWindow report brings the new
// boots, and the request is sent again, as net-snmp's tools do.
TEST(WalkEngine, AV3WalkFollowsAPduThatRestarted) {
  pdu_host_run::TempDir dir;
  pdu_agent::PduAgentOptions options;
  options.v3_users = dir.Write("users", "pdu-ops SHA-256 ops-auth-passphrase\n");
  options.state_dir = dir.path() + "/state";
  auto agent = std::make_unique<pdu_agent::PduAgentProcess>(PDU_SIM_DIR, options);
  const DeviceEntry entry =
      pdu_host::AddressDevice(agent->address(), {{"snmp_version", "3"},
                                                 {"security_name", "pdu-ops"},
                                                 {"auth_protocol", "SHA-256"},
                                                 {"auth_passphrase", "ops-auth-passphrase"}});
  ASSERT_TRUE(pdu_host::WalkTable(entry).complete);

  options.port = agent->port();
  agent.reset();
  agent = std::make_unique<pdu_agent::PduAgentProcess>(PDU_SIM_DIR, options);
  const TableWalk walk = pdu_host::WalkTable(entry);
  EXPECT_TRUE(walk.complete) << walk.end;
}

}  // namespace
