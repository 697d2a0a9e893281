// Walks that end on the SNMP time-out: each costs the full time-out with its
// one retry (2 x 10 s), so these run under the label "slow".
#include <gtest/gtest.h>

#include <chrono>

#include "support/hostile_pass.h"
#include "support/plugin_host.h"

namespace {

using ber::Bytes;
using hostile::Answer;
using hostile::Object;
using qtxhost::HostCall;

TEST(AgentTimeout, SilentAgentTimesOutAndTheCycleStillRuns) {
  const auto pass = hostile::RunPass([](const ber::Request&, int) { return std::nullopt; });
  EXPECT_EQ(pass.requests.size(), 2u);  // the request and its one retry
  EXPECT_EQ(pass.published.size(), 1u);
  EXPECT_EQ(pass.err, "Timeout: No Response from " + pass.address + "\n");
  EXPECT_EQ(pass.out, "SNMP_VARNO_PDU::do_sample\nrvSize is 0\n");
}

// net-snmp drops a whole response whose Opaque float is not four bytes long,
// so the walk ends on the time-out and keeps what it stored before.
TEST(AgentTimeout, MalformedFloatDropsTheResponseAndKeepsEarlierValues) {
  const auto pass = hostile::RunPass([](const ber::Request& r, int n) -> std::optional<Bytes> {
    if (n == 0) return Answer(r, {ber::Binding(Object(2), ber::Integer(230))});
    return Answer(r, {ber::Binding(Object(3), ber::OpaqueFloat(Bytes{0x3F, 0xC0, 0x00}))});
  });
  ASSERT_EQ(pass.published.size(), 1u);
  EXPECT_EQ(pass.published[0].col2, 230.0f);
  EXPECT_EQ(pass.published[0].col3, 0.0f);
  EXPECT_EQ(pass.err, "Timeout: No Response from " + pass.address + "\n");
}

TEST(AgentTimeout, DeletingAThreadedDeviceWaitingOnASilentAgentEndsWithinOneTimeout) {
  ScriptedAgent agent([](const ber::Request&, int) { return std::nullopt; });
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  auto device = plugin_host::ConfiguredDevice(8, {agent.address(), "1"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (agent.requests().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_FALSE(agent.requests().empty());
  const QTXVDevice* raw = device.get();
  (void)raw;
  const auto start = std::chrono::steady_clock::now();
  device.reset();
  const auto took = std::chrono::steady_clock::now() - start;
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_LT(took, std::chrono::seconds(21));
  EXPECT_EQ(agent.requests().size(), 2u);  // nothing more after the time-out
}

}  // namespace
