// The sampling thread's stack: measured against the deepest pass, so that
// thousands of threaded devices fit in a 32-bit host without a pass ever
// running out of stack.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "sim/pdu_agent_process.h"
#include "support/plugin_host.h"
#include "support/stack_probe.h"

namespace {

using qtxhost::HostCall;

TEST(SamplingStack, IsAtLeastHalfAMebibyteAndEightTimesTheDeepestPass) {
  pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, {});
  testing::internal::CaptureStdout();
  // Mode 2: the cycle reports fourteen signals to the host as well.
  auto polled = plugin_host::ConfiguredDevice(3, {agent.address(), nullptr, "2"});
  const std::size_t depth = stack_probe::DeepestStackUse(4 << 20, [&] { polled->RefreshStatus(); });

  // What the plug-in gives its sampling thread, read on that thread.
  std::atomic<const QTXVDevice*> threaded_device{nullptr};
  std::atomic<std::size_t> sampling_stack{0};
  qtxhost::SetCallObserver([&](const QTXVDevice& device, const HostCall&) {
    if (&device == threaded_device) sampling_stack = stack_probe::CurrentThreadStackBytes();
  });
  auto threaded = plugin_host::NewDevice();
  threaded_device = threaded.get();
  threaded->Init(std::weak_ptr<QTXController>(), 4, plugin_host::Config({agent.address(), "1"}));
  EXPECT_TRUE(
      qtxhost::WaitForCalls(*threaded, HostCall::Kind::kSendSP, 1, std::chrono::seconds(20)));
  threaded.reset();
  qtxhost::SetCallObserver(nullptr);
  testing::internal::GetCapturedStdout();

  RecordProperty("deepest_pass_bytes", std::to_string(depth));
  RecordProperty("sampling_stack_bytes", std::to_string(sampling_stack.load()));
  ASSERT_EQ(plugin_host::Published(*polled).size(), 1u);  // the measured pass walked
  EXPECT_GT(depth, 0u);
  EXPECT_GE(sampling_stack, 512u * 1024);
  // Sanitizers enlarge thread stacks and write to them themselves.
#ifndef PDU_SANITIZER_BUILD
  EXPECT_GE(sampling_stack, 8 * depth) << "deepest pass " << depth << " bytes";
#endif
}

}  // namespace
