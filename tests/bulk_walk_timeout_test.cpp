// Walks that end on the SNMP time-out: each costs the full time-out with its
// one retry (2 x 10 s), so these run under the label "slow".
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/hostile_pass.h"
#include "support/plugin_host.h"

namespace {

using ber::Bytes;
using hostile::Answer;
using hostile::EndOfView;
using hostile::Object;
using namespace std::chrono_literals;

TEST(BulkWalkTimeout, SilentAgentTimesOutAndTheCycleStillRuns) {
  const auto pass = hostile::RunPass([](const ber::Request&, int) { return std::nullopt; });
  EXPECT_EQ(pass.requests.size(), 2u);  // the request and its one retry
  EXPECT_EQ(pass.published.size(), 1u);
  EXPECT_EQ(pass.err, "Timeout: No Response from " + pass.address + "\n");
  EXPECT_EQ(pass.out, "SNMP_VARNO_PDU::do_sample\nrvSize is 0\n");
}

// net-snmp drops a whole response whose Opaque float is not four bytes long,
// so the walk ends on the time-out and keeps what it stored before.
TEST(BulkWalkTimeout, MalformedFloatDropsTheResponseAndKeepsEarlierValues) {
  const auto pass = hostile::RunPass([](const ber::Request& r, int n) -> std::optional<Bytes> {
    if (n == 0) return Answer(r, {ber::Binding(Object(2), ber::Integer(230))});
    return Answer(r, {ber::Binding(Object(3), ber::OpaqueFloat(Bytes{0x3F, 0xC0, 0x00}))});
  });
  ASSERT_EQ(pass.published.size(), 1u);
  EXPECT_EQ(pass.published[0].col2, 230.0f);
  EXPECT_EQ(pass.published[0].col3, 0.0f);
  EXPECT_EQ(pass.err, "Timeout: No Response from " + pass.address + "\n");
}

// An agent that stops answering in the middle of a walk and comes back: the
// pass reports the time-out and publishes what it had, the next one recovers.
TEST(BulkWalkTimeout, AgentLostMidWalkKeepsEarlierValuesAndRecoversNextPass) {
  std::atomic<int> pass{1};
  ScriptedAgent agent([&](const ber::Request& r, int) -> std::optional<Bytes> {
    const std::uint32_t column = r.names.at(0).size() > 11 ? r.names[0][11] + 1 : 2;
    if (column > 30) return EndOfView(r);
    if (pass == 2 && column > 5) return std::nullopt;  // gone after column 5
    return Answer(r, {ber::Binding(Object(column), ber::Integer(pass * 100 + column))});
  });
  auto device = plugin_host::ConfiguredDevice(40, {agent.address()});
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  device->RefreshStatus();
  pass = 2;
  device->RefreshStatus();
  const std::string err = testing::internal::GetCapturedStderr();
  pass = 3;
  device->RefreshStatus();
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(err, "Timeout: No Response from " + agent.address() + "\n");
  const auto published = plugin_host::Published(*device);
  ASSERT_EQ(published.size(), 3u);
  EXPECT_EQ(published[0].col30, 130.0f);
  EXPECT_EQ(published[1].col5, 205.0f);  // reached before the agent went away
  EXPECT_EQ(published[1].col6, 106.0f);  // kept from the pass before
  EXPECT_EQ(published[1].col30, 130.0f);
  EXPECT_EQ(published[2].col6, 306.0f);  // recovered
  EXPECT_EQ(published[2].col30, 330.0f);
}

}  // namespace
