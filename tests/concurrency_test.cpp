// Many threaded devices of one process polling one agent at once: net-snmp
// is not built reentrant, so this only works with single sessions.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "sim/pdu_agent_process.h"
#include "support/plugin_host.h"

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

}  // namespace
