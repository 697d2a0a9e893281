// The plug-in as a host uses it: loaded with dlopen, devices from its
// provider, configured through Init, polled or sampling on their own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "support/hostile_pass.h"
#include "support/plugin_host.h"

namespace {

using hostile::EndOfView;
using plugin_host::ConfiguredDevice;
using plugin_host::CountCalls;
using qtxhost::HostCall;
using namespace std::chrono_literals;

// An agent whose table is empty: every pass is one request.
ScriptedAgent EmptyTableAgent() {
  return ScriptedAgent(
      [](const ber::Request& r, int) -> std::optional<ber::Bytes> { return EndOfView(r); });
}

class PluginLoadingQuietOutput : public testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
  }
  void TearDown() override {
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
  }
};

TEST(PluginLoading, EachGetProvidersCallYieldsANewWorkingProvider) {
  auto& plugin = plugin_host::Plugin();
  const ProviderList first = plugin.GetProviders();
  const ProviderList second = plugin.GetProviders();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(first[0].get(), second[0].get());
  for (const auto& provider : {first[0], second[0]}) {
    auto factory = std::dynamic_pointer_cast<QTXSocketDeviceProvider>(provider);
    ASSERT_NE(factory, nullptr);
    std::unique_ptr<QTXSocketDevice> device(factory->create());
    EXPECT_EQ(device->DeviceType(), "snmp_varno_pdu");
  }
}

TEST(PluginLoading, CreatedDevicesAreDistinctFreshAndOutliveTheirProvider) {
  auto provider = plugin_host::Plugin().SocketDeviceProvider();
  std::unique_ptr<QTXSocketDevice> a(provider->create());
  std::unique_ptr<QTXSocketDevice> b(provider->create());
  provider.reset();
  EXPECT_NE(a.get(), b.get());
  for (auto* device : {a.get(), b.get()}) {
    EXPECT_EQ(device->DeviceType(), "snmp_varno_pdu");
    EXPECT_TRUE(device->IsSupportDevice("snmp_varno_pdu"));
    EXPECT_EQ(device->DataId(), 0u);
    EXPECT_EQ(device->process_data(0, nullptr, 0), 0);
    unsigned char bytes[3] = {1, 2, 3};
    EXPECT_EQ(device->process_data(4, bytes, 3), 0);
    EXPECT_TRUE(qtxhost::RecordedCalls(*device).empty());
  }
  EXPECT_THROW(a->Get_Value(0, "col2"), std::out_of_range);
}

TEST_F(PluginLoadingQuietOutput, PolledModesSampleOncePerRefresh) {
  for (const char* use_thread : std::initializer_list<const char*>{"0", "abc", "", nullptr}) {
    auto agent = EmptyTableAgent();
    auto device = ConfiguredDevice(21, {agent.address(), use_thread});
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(agent.requests().empty()) << (use_thread ? use_thread : "absent");
    EXPECT_EQ(device->RefreshStatus(), 0);
    EXPECT_EQ(device->RefreshStatus(), 0);
    EXPECT_EQ(agent.requests().size(), 2u);
    const auto published = plugin_host::Published(*device);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0].data_id, device->DataId());
  }
}

TEST_F(PluginLoadingQuietOutput, ThreadedModesSampleOnTheirOwnThreadOnly) {
  for (const char* use_thread : {"1", " 2x", "-3"}) {
    auto agent = EmptyTableAgent();
    auto device = ConfiguredDevice(22, {agent.address(), use_thread});
    ASSERT_TRUE(qtxhost::WaitForCalls(*device, HostCall::Kind::kSaveDeviceHistory, 1, 10s))
        << use_thread;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->RefreshStatus(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
    std::this_thread::sleep_for(100ms);
    // The first pass, and no more during the 5-second pause.
    EXPECT_EQ(agent.requests().size(), 1u) << use_thread;
    EXPECT_EQ(plugin_host::Published(*device).at(0).data_id, 22u);
  }
}

TEST_F(PluginLoadingQuietOutput, ASecondInitSettingNeverStartsASecondThread) {
  auto agent = EmptyTableAgent();
  auto device = ConfiguredDevice(23, {agent.address(), "1"});
  device->Init(std::weak_ptr<QTXController>(), 23, plugin_host::Config({agent.address(), "1"}));
  device->Init(std::weak_ptr<QTXController>(), 23, plugin_host::Config({agent.address(), "0"}));
  ASSERT_TRUE(agent.WaitForRequests(1, 10s));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(agent.requests().size(), 1u);
  EXPECT_EQ(device->RefreshStatus(), 0);  // still threaded
  EXPECT_EQ(agent.requests().size(), 1u);
}

TEST_F(PluginLoadingQuietOutput, ThreadedPassesFollowEachOtherAfterAFiveSecondPause) {
  // Each pass is three requests answered after 300 ms each.
  std::mutex mutex;
  std::vector<std::chrono::steady_clock::time_point> received;
  ScriptedAgent agent([&](const ber::Request& r, int n) -> std::optional<ber::Bytes> {
    {
      std::lock_guard<std::mutex> lock(mutex);
      received.push_back(std::chrono::steady_clock::now());
    }
    std::this_thread::sleep_for(300ms);
    if (n % 3 == 2) return EndOfView(r);
    return hostile::Answer(r, {ber::Binding(hostile::Object(2 + n % 3), ber::Integer(n))});
  });
  auto device = ConfiguredDevice(28, {agent.address(), "1"});
  ASSERT_TRUE(agent.WaitForRequests(4, 60s));
  device.reset();
  std::lock_guard<std::mutex> lock(mutex);
  // The second pass starts 5 seconds after the first one ended; the upper
  // bound only tells a pause from none under any load (qemu, sanitizers).
  const auto first_pass_end = received[2] + 300ms;
  EXPECT_GE(received[3] - first_pass_end, 4900ms);
  EXPECT_LT(received[3] - first_pass_end, 30s);
}

TEST(PluginLoading, EmptyAddressTracesTheEntryLineAndNothingElse) {
  auto device = ConfiguredDevice(24, {""});
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(device->RefreshStatus(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SNMP_VARNO_PDU::do_sample\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(qtxhost::RecordedCalls(*device).empty());
}

TEST(PluginLoading, UnopenableAddressIsReportedAndRunsNoCycle) {
  auto device = ConfiguredDevice(25, {"udp:127.0.0.1:99999"});
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(device->RefreshStatus(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SNMP_VARNO_PDU::do_sample\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("snmpbulkwalk", 0), 0u);
  EXPECT_TRUE(qtxhost::RecordedCalls(*device).empty());
}

// Sending to port 0 fails at once: a failed request other than a time-out.
TEST(PluginLoading, FailedRequestIsReportedOnStandardOutputAndTheCycleStillRuns) {
  auto device = ConfiguredDevice(29, {"127.0.0.1:0"});
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(device->RefreshStatus(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SNMP_VARNO_PDU::do_sample\nsnmp get error 1\nrvSize is 0\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(CountCalls(*device, HostCall::Kind::kSaveDeviceHistory), 1u);
}

TEST_F(PluginLoadingQuietOutput, AnExceptionInAThreadedPassIsReportedAndSamplingGoesOn) {
  auto agent = EmptyTableAgent();
  std::atomic<int> thrown{0};
  qtxhost::SetCallObserver([&](const QTXVDevice&, const HostCall& call) {
    if (call.kind == HostCall::Kind::kSendSP && thrown++ == 0) throw std::runtime_error("boom");
  });
  auto device = ConfiguredDevice(26, {agent.address(), "1"});
  // The first cycle fails inside SendSP; the next pass comes 5 seconds later.
  const bool second = qtxhost::WaitForCalls(*device, HostCall::Kind::kSaveDeviceHistory, 1, 15s);
  qtxhost::SetCallObserver(nullptr);
  EXPECT_TRUE(second);
  EXPECT_EQ(agent.requests().size(), 2u);
  device.reset();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "SNMP_VARNO_PDU: device 26 (" + agent.address() + ") sampling pass failed: boom\n");
  testing::internal::CaptureStderr();
}

// A restore while a request of a pass waits for its answer: the restore's
// own cycle publishes the cached record at once; the pass's cycle then
// publishes every column the pass read, those read before the restore
// included, and the restored values of the columns it did not read.
TEST_F(PluginLoadingQuietOutput, CacheRestoreDuringAPassIsPublishedAtOnceAndFreshValuesWinOverIt) {
  SNMP_VARNO_PDU_Data_t cached{};
  cached.data_id = 77;
  cached.col2 = -2.0f;
  cached.col3 = -3.0f;
  cached.col4 = -4.0f;
  cached.col30 = -30.0f;
  cached.col341 = -341.0f;  // not served: the pass never reads it
  const auto device = plugin_host::NewDevice();
  std::atomic<std::size_t> published_by_restore{0};
  ScriptedAgent agent([&](const ber::Request& r, int) -> std::optional<ber::Bytes> {
    const std::uint32_t column = r.names.at(0).size() > 11 ? r.names[0][11] + 1 : 2;
    if (column > 30) return EndOfView(r);
    if (column == 4) {  // columns 2 and 3 are stored; the pass waits for this answer
      EXPECT_TRUE(
          device->LoadFromCache(reinterpret_cast<const unsigned char*>(&cached), sizeof cached));
      published_by_restore = plugin_host::Published(*device).size();
    }
    return hostile::Answer(
        r, {ber::Binding(hostile::Object(column), ber::Integer(static_cast<long long>(column)))});
  });
  device->Init(std::weak_ptr<QTXController>(), 27, plugin_host::Config({agent.address()}));
  device->RefreshStatus();

  EXPECT_EQ(published_by_restore, 1u);
  // Cycles come whole and one after the other: the restore's, then the pass's.
  std::vector<HostCall::Kind> kinds;
  for (const auto& call : qtxhost::RecordedCalls(*device)) kinds.push_back(call.kind);
  const std::vector<HostCall::Kind> cycle = {HostCall::Kind::kSendSP, HostCall::Kind::kReset,
                                             HostCall::Kind::kDoBatchCheckThreshold,
                                             HostCall::Kind::kSaveDeviceHistory};
  std::vector<HostCall::Kind> two_cycles = cycle;
  two_cycles.insert(two_cycles.end(), cycle.begin(), cycle.end());
  EXPECT_EQ(kinds, two_cycles);
  const auto published = plugin_host::Published(*device);
  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(published[0].data_id, 77u);
  EXPECT_EQ(published[0].col2, -2.0f);
  EXPECT_EQ(published[0].col30, -30.0f);
  const SNMP_VARNO_PDU_Data_t& pass = published[1];
  EXPECT_EQ(pass.data_id, 77u);
  EXPECT_EQ(pass.col2, 2.0f);  // walked before the restore
  EXPECT_EQ(pass.col3, 3.0f);
  EXPECT_EQ(pass.col4, 4.0f);  // walked after it
  EXPECT_EQ(pass.col30, 30.0f);
  EXPECT_EQ(pass.col341, -341.0f);  // restored
}

// Pass 1 reads columns 2 and 3; a restore; pass 2 ends (error status) before
// column 3: its record holds the restored column 3, not pass 1's.
TEST_F(PluginLoadingQuietOutput, APassEndingEarlyAfterARestoreKeepsTheRestoredColumnsItDidNotRead) {
  ScriptedAgent agent([](const ber::Request& r, int n) -> std::optional<ber::Bytes> {
    if (n == 0 || n == 3)
      return hostile::Answer(r, {ber::Binding(hostile::Object(2), ber::Integer(n))});
    if (n == 1) return hostile::Answer(r, {ber::Binding(hostile::Object(3), ber::Integer(1))});
    return n == 2 ? EndOfView(r) : hostile::Answer(r, {}, 5);
  });
  auto device = ConfiguredDevice(32, {agent.address()});
  device->RefreshStatus();
  SNMP_VARNO_PDU_Data_t cached{};
  cached.data_id = 32;
  cached.col3 = -3.0f;
  EXPECT_TRUE(
      device->LoadFromCache(reinterpret_cast<const unsigned char*>(&cached), sizeof cached));
  device->RefreshStatus();
  const auto published = plugin_host::Published(*device);
  ASSERT_EQ(published.size(), 3u);
  EXPECT_EQ(published[2].col2, 3.0f);
  EXPECT_EQ(published[2].col3, -3.0f);
}

// Deleting a device from inside its own pass (from SendSP) ends the process
// with one line naming the device, threaded or polled.
TEST(PluginLoadingSelfDeletionDeathTest, FromInsideItsOwnPassEndsTheProcessNamingTheDevice) {
  for (const char* use_thread : {"1", "0"}) {
    EXPECT_DEATH(
        {
          auto agent = EmptyTableAgent();
          QTXSocketDevice* device = plugin_host::NewDevice().release();
          qtxhost::SetCallObserver([&](const QTXVDevice&, const HostCall& call) {
            if (call.kind == HostCall::Kind::kSendSP) delete device;
          });
          device->Init(std::weak_ptr<QTXController>(), 41,
                       plugin_host::Config({agent.address(), use_thread}));
          device->RefreshStatus();
          std::this_thread::sleep_for(20s);
        },
        "SNMP_VARNO_PDU: device 41 .* deleted from inside its own sampling pass")
        << use_thread;
  }
}

}  // namespace
