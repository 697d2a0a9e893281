// pdu-host's walk engine in-process: names looked up side by side, walks in
// waves, and an answer that is a REPORT ending the walk as a failed request
// that keeps nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host_config.h"
#include "sim/pdu_agent_process.h"
#include "support/ber.h"
#include "support/scripted_agent.h"
#include "table_walk.h"
#include "walk_engine.h"

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

// net-snmp matches a REPORT to the request like a RESPONSE.
TEST(WalkEngine, AReportEndsTheWalkAsAFailedRequestAndKeepsNothing) {
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
  EXPECT_EQ(walk.how, pdu_host::WalkEnd::kRequestFailed) << walk.end;
  EXPECT_TRUE(walk.objects.empty());
  EXPECT_EQ(walk.requests, 1);
  EXPECT_EQ(agent.requests().size(), 1u);
}

}  // namespace
