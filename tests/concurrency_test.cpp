// Many threaded devices of one process polling one agent at once: net-snmp
// is not built reentrant, so this only works with single sessions; and a
// device whose name is slow to resolve beside another.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "sim/pdu_agent_process.h"
#include "support/plugin_host.h"
#include "support/slow_names.h"

namespace {

using qtxhost::HostCall;

TEST(Concurrency, TwentyThreadedDevicesEachPublishCompleteCycles) {
  pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, {});
  constexpr unsigned kDevices = 20;
  constexpr std::size_t kPasses = 3;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  std::vector<std::unique_ptr<QTXSocketDevice>> devices;
  for (unsigned i = 0; i < kDevices; ++i) {
    devices.push_back(plugin_host::ConfiguredDevice(100 + i, {agent.address(), "1", "2"}));
  }
  for (auto& device : devices) {
    EXPECT_TRUE(qtxhost::WaitForCalls(*device, HostCall::Kind::kSaveDeviceHistory, kPasses,
                                      std::chrono::seconds(60)));
  }
  devices.clear();  // stops and joins every sampling thread
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A name that takes a minute to resolve holds up neither another device
// nor the deletion of its own, which leaves the lookup behind.
TEST(Concurrency, ASlowNameHoldsUpNoOtherDeviceNorItsOwnDeletion) {
  pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, {});
  const std::string port = agent.address().substr(agent.address().rfind(':'));
  testing::internal::CaptureStdout();
  auto slow = plugin_host::ConfiguredDevice(61, {"60000.slow.test" + port, "1"});
  auto plain = plugin_host::ConfiguredDevice(62, {agent.address(), "1"});
  const bool published = qtxhost::WaitForCalls(*plain, HostCall::Kind::kSaveDeviceHistory, 1,
                                               std::chrono::seconds(30));
  const auto start = std::chrono::steady_clock::now();
  slow.reset();
  const auto deletion = std::chrono::steady_clock::now() - start;
  slow_names::ReleaseSlowNames();  // the lookup left behind ends now
  plain.reset();
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(published);
  EXPECT_LT(deletion, std::chrono::seconds(10));
}

}  // namespace
