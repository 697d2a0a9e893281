// The walk through a relay that loses, duplicates, delays and reorders the
// datagrams between the plug-in and the simulated PDU. Whatever the network
// does: no request id is sent more than twice (the request and its one
// retry), each request ends within the time-out and retry (2 x 10 s), no
// answer to an earlier request is taken for the current one, and every
// published field holds the agent's value or the value it held before.
// NetworkFaultTimeouts wait out time-outs and run under the label "slow".
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "sim/pdu_agent_process.h"
#include "support/plugin_host.h"
#include "support/udp_fault_relay.h"

namespace {

using namespace std::chrono_literals;
using Copies = std::vector<UdpFaultRelay::Copy>;
using Datagram = UdpFaultRelay::Datagram;
using Clock = UdpFaultRelay::Clock;

const unsigned kColumns[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,  16, 17,
                             18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 341, 342};
constexpr int kRequestsPerPass = 32;  // 31 columns, then the end of the table

float Value(unsigned column, int version) { return column * 100.0f + version; }

// Columns 2 to 13 hold the values of table version `up_to_13`, the rest
// those of version `from_14`.
void ExpectValues(const SNMP_VARNO_PDU_Data_t& record, int up_to_13, int from_14) {
  std::string wrong;
  for (unsigned column : kColumns) {
    const float value = pdu::ReadColumn(record, pdu::ColumnOffset(column));
    if (value != Value(column, column < 14 ? up_to_13 : from_14)) {
      wrong += " " + std::to_string(column) + "=" + std::to_string(value);
    }
  }
  EXPECT_EQ(wrong, "") << "columns with other values than expected";
}

struct Pass {
  std::string err;  // standard error during the pass
  Clock::time_point start, end;
};

// The simulated PDU serving a table whose column C holds C * 100 + version.
class NetworkFaults : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pdu-faults-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    Serve(1);
    pdu_agent::PduAgentOptions options;
    options.data_file = dir_ + "/table.txt";
    agent_ = std::make_unique<pdu_agent::PduAgentProcess>(PDU_SIM_DIR, options);
  }
  void TearDown() override {
    agent_.reset();
    std::filesystem::remove_all(dir_);
  }
  void Serve(int version) {
    std::ostringstream table;
    for (unsigned column : kColumns) {
      table << column << ".1 integer " << Value(column, version) << '\n';
    }
    pdu_agent::WriteFileAtomically(dir_ + "/table.txt", table.str());
  }

  // One polled pass; the console is captured only while it runs.
  static Pass Poll(QTXSocketDevice& device) {
    Pass pass;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    pass.start = Clock::now();
    device.RefreshStatus();
    pass.end = Clock::now();
    testing::internal::GetCapturedStdout();
    pass.err = testing::internal::GetCapturedStderr();
    return pass;
  }

  // Each request of the pass starting with request `first` is followed by
  // the next one, or by the end of the pass, within its time-out and retry;
  // no request id goes out more than twice. Returns the copies sent of each.
  static std::map<int, int> ExpectTimely(const std::vector<UdpFaultRelay::Sent>& sent, int first,
                                         const Pass& pass) {
    std::map<int, int> copies;
    std::map<int, Clock::time_point> first_sent;
    for (const auto& request : sent) {
      if (request.request < first) continue;
      copies[request.request] = std::max(copies[request.request], request.copy);
      first_sent.emplace(request.request, request.at);
    }
    for (auto it = first_sent.begin(); it != first_sent.end(); ++it) {
      const auto next = std::next(it) == first_sent.end() ? pass.end : std::next(it)->second;
      EXPECT_LT(next - it->second, 20s + 15s) << "request " << it->first;
      EXPECT_LE(copies[it->first], 2) << "request " << it->first;
    }
    return copies;
  }

  static void Report(const char* what, const UdpFaultRelay::Stats& s, std::size_t requests,
                     double seconds) {
    std::printf(
        "relay, %s: %zu datagrams, %zu dropped, %zu duplicated, %zu reordered, %zu delayed, "
        "%zu stale answers; %zu requests sent by the plug-in; longest pass %.1f s\n",
        what, s.received, s.dropped, s.duplicated, s.reordered, s.delayed, s.stale_answers,
        requests, seconds);
  }

  std::string dir_;
  std::unique_ptr<pdu_agent::PduAgentProcess> agent_;
};

using NetworkFaultTimeouts = NetworkFaults;

// A reproducible random plan: what becomes of a datagram depends only on the
// seed and on which datagram it is. Nothing is lost, and no delay comes near
// the time-out.
UdpFaultRelay::Plan Shuffling(unsigned seed) {
  return [seed](const Datagram& d) -> Copies {
    std::seed_seq seeds{seed, static_cast<unsigned>(d.direction), static_cast<unsigned>(d.request),
                        static_cast<unsigned>(d.copy)};
    std::mt19937 random(seeds);
    const std::chrono::milliseconds late(1 + random() % 30);
    switch (random() % 10) {
      case 0:
      case 1:
        return {{}, {late, true}};  // and a copy behind the next datagram
      case 2:
        return {{}, {late}};  // and a late copy
      case 3:
      case 4:
        return {{late}};
      case 5:
        return {{late, true}};  // behind the next datagram, if one comes
      default:
        return UdpFaultRelay::PassOn();
    }
  };
}

// Three PDUs, each behind its own relay, polled at once from three host
// threads: every pass walks the whole table, sending each request once.
TEST_F(NetworkFaults, DuplicatedDelayedAndReorderedDatagramsLeaveEveryPassWhole) {
  constexpr int kDevices = 3, kPasses = 8;
  std::vector<std::unique_ptr<UdpFaultRelay>> relays;
  std::vector<std::unique_ptr<QTXSocketDevice>> devices;
  for (int i = 0; i < kDevices; ++i) {
    relays.push_back(std::make_unique<UdpFaultRelay>(agent_->address(), Shuffling(i + 1)));
    devices.push_back(plugin_host::ConfiguredDevice(70 + i, {relays[i]->address()}));
  }
  std::vector<double> longest(kDevices);
  std::vector<std::thread> hosts;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (int i = 0; i < kDevices; ++i) {
    hosts.emplace_back([&, i] {
      for (int pass = 0; pass < kPasses; ++pass) {
        const auto start = Clock::now();
        devices[i]->RefreshStatus();
        longest[i] =
            std::max(longest[i], std::chrono::duration<double>(Clock::now() - start).count());
      }
    });
  }
  for (auto& host : hosts) host.join();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no time-out, no walk cut short

  UdpFaultRelay::Stats total;
  for (int i = 0; i < kDevices; ++i) {
    const auto published = plugin_host::Published(*devices[i]);
    ASSERT_EQ(published.size(), static_cast<std::size_t>(kPasses));
    for (const auto& record : published) ExpectValues(record, 1, 1);
    const auto sent = relays[i]->requests();
    EXPECT_EQ(sent.size(), static_cast<std::size_t>(kPasses * kRequestsPerPass));
    for (const auto& request : sent) ASSERT_EQ(request.copy, 1) << "request " << request.request;
    const auto s = relays[i]->stats();
    Report(("device " + std::to_string(i)).c_str(), s, sent.size(), longest[i]);
    EXPECT_EQ(s.dropped + s.unmatched + s.over_limit, 0u);
    total.duplicated += s.duplicated;
    total.reordered += s.reordered;
    total.delayed += s.delayed;
    total.stale_answers += s.stale_answers;
  }
  // The plans did what this test is about.
  EXPECT_GT(total.duplicated, 0u);
  EXPECT_GT(total.reordered, 0u);
  EXPECT_GT(total.delayed, 0u);
  EXPECT_GT(total.stale_answers, 0u);
}

// In the second pass: a lost request; an answer that comes after its retry
// was answered, so it reaches the walk while a later request waits; an
// answer that comes after its retry was sent, the retry's answer being lost.
TEST_F(NetworkFaultTimeouts, LostAndLateDatagramsCostOneRetryEachAndStaleAnswersAreIgnored) {
  constexpr int kLostRequest = kRequestsPerPass + 3, kStale = kRequestsPerPass + 10,
                kLateAfterRetry = kRequestsPerPass + 20;
  UdpFaultRelay relay(agent_->address(), [&](const Datagram& d) -> Copies {
    const bool answer = d.direction == UdpFaultRelay::Direction::kAnswer;
    if (!answer && d.request == kLostRequest && d.copy == 1) return {};
    if (answer && d.request == kStale && d.copy == 1) return {{15s}};
    if (answer && d.request == kLateAfterRetry) return d.copy == 1 ? Copies{{10500ms}} : Copies{};
    return UdpFaultRelay::PassOn();
  });
  auto device = plugin_host::ConfiguredDevice(80, {relay.address()});
  Poll(*device);
  Serve(2);
  const Pass pass = Poll(*device);
  EXPECT_EQ(pass.err, "");
  const auto published = plugin_host::Published(*device);
  ASSERT_EQ(published.size(), 2u);
  ExpectValues(published[1], 2, 2);
  const auto sent = relay.requests();
  const auto copies = ExpectTimely(sent, kRequestsPerPass, pass);
  EXPECT_EQ(copies.size(), static_cast<std::size_t>(kRequestsPerPass));
  for (const auto& [request, count] : copies) {
    const bool retried = request == kLostRequest || request == kStale || request == kLateAfterRetry;
    EXPECT_EQ(count, retried ? 2 : 1) << "request " << request;
  }
  const auto s = relay.stats();
  Report("lost and late", s, sent.size(),
         std::chrono::duration<double>(pass.end - pass.start).count());
  EXPECT_EQ(s.dropped, 2u);
  EXPECT_EQ(s.delayed, 2u);
  EXPECT_EQ(s.stale_answers, 1u);
}

// The answer to a request of the second pass and its retry are both lost:
// the pass ends on the time-out, the columns read before hold the new
// values, the others those of the first pass, and nothing more is sent.
TEST_F(NetworkFaultTimeouts, RequestLostTwiceEndsThePassOnItsTimeOutKeepingHeldValues) {
  constexpr int kLost = kRequestsPerPass + 12;  // asks for column 14
  UdpFaultRelay relay(agent_->address(), [&](const Datagram& d) -> Copies {
    const bool answer = d.direction == UdpFaultRelay::Direction::kAnswer;
    if (d.request == kLost && d.copy == (answer ? 1 : 2)) return {};
    return UdpFaultRelay::PassOn();
  });
  auto device = plugin_host::ConfiguredDevice(81, {relay.address()});
  Poll(*device);
  Serve(2);
  const Pass pass = Poll(*device);
  EXPECT_EQ(pass.err, "Timeout: No Response from " + relay.address() + "\n");
  const auto published = plugin_host::Published(*device);
  ASSERT_EQ(published.size(), 2u);
  ExpectValues(published[1], 2, 1);
  const auto sent = relay.requests();
  const auto copies = ExpectTimely(sent, kRequestsPerPass, pass);
  ASSERT_EQ(copies.size(), 13u);
  EXPECT_EQ(copies.rbegin()->second, 2);
  EXPECT_EQ(sent.back().request, kLost);
  const auto s = relay.stats();
  Report("lost twice", s, sent.size(),
         std::chrono::duration<double>(pass.end - pass.start).count());
  EXPECT_EQ(s.dropped, 2u);
}

}  // namespace
