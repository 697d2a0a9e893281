// The record cycle as the host sees it: the order and arguments of the calls
// the device makes, and cache restore.
#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstring>
#include <vector>

#include "host_calls.h"
#include "support/test_device.h"

namespace {

using qtxhost::HostCall;
using Kind = HostCall::Kind;
using Bytes = std::vector<unsigned char>;

std::vector<Kind> Kinds(const std::vector<HostCall>& calls) {
  std::vector<Kind> kinds;
  for (const auto& call : calls) kinds.push_back(call.kind);
  return kinds;
}

Bytes RecordOf(const TestDevice& device) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&device.data_);
  return Bytes(bytes, bytes + sizeof device.data_);
}

TEST(RecordCycle, PublishesResetsChecksAndStoresInOrder) {
  TestDevice device;
  device.signal_seq_ = 40;
  device.data_.col12 = 2301.0f;
  testing::internal::CaptureStdout();
  const auto before = boost::posix_time::second_clock::local_time();
  device.RoundDone();
  const auto after = boost::posix_time::second_clock::local_time();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "rvSize is 0\n");

  const auto calls = qtxhost::RecordedCalls(device);
  ASSERT_EQ(Kinds(calls),
            (std::vector<Kind>{Kind::kSendSP, Kind::kReset, Kind::kDoBatchCheckThreshold,
                               Kind::kSaveDeviceHistory}));
  EXPECT_EQ(calls[0].record_type, 5156);
  EXPECT_EQ(calls[0].length, 135u);
  EXPECT_FALSE(calls[0].flag);
  EXPECT_EQ(calls[2].rule_count, 0u);
  EXPECT_EQ(calls[3].length, 135u);
  // The bytes published and saved are the record, stamped by this cycle.
  EXPECT_EQ(calls[0].bytes, RecordOf(device));
  EXPECT_EQ(calls[3].bytes, calls[0].bytes);
  EXPECT_GE(device.last_sample_time_, before);
  EXPECT_LE(device.last_sample_time_, after);
  const ttime_t stamp = get_ttime(device.last_sample_time_);
  EXPECT_EQ(0, std::memcmp(calls[0].bytes.data() + 128, stamp.data(), 7));

  EXPECT_TRUE(device.data_ready_);
  EXPECT_EQ(device.signal_seq_, 1);
  EXPECT_FALSE(device.alarm_active_);
  EXPECT_TRUE(device.rule_values_.empty());
  EXPECT_EQ(device.data_.data_id, 0u);  // never configured
}

TEST(RecordCycle, ReportsAndClearsTheRulesCollectedByTheCheck) {
  TestDevice device;
  device.on_check = [](TestDevice& d) {
    EXPECT_EQ(d.signal_seq_, 1);
    EXPECT_FALSE(d.alarm_active_);
    d.CheckThresholdBool(2, "a", "a", "g", "t", false, 1);
    d.CheckThresholdBool(2, "b", "b", "g", "t", true, 2);
  };
  testing::internal::CaptureStdout();
  device.RoundDone();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "rvSize is 2\n");
  const auto calls = qtxhost::RecordedCalls(device);
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[2].kind, Kind::kCheckThresholdBool);
  EXPECT_EQ(calls[4].kind, Kind::kDoBatchCheckThreshold);
  EXPECT_EQ(calls[4].rule_count, 2u);
  EXPECT_TRUE(calls[4].result);
  EXPECT_TRUE(device.alarm_active_);
  EXPECT_TRUE(device.rule_values_.empty());
}

TEST(RecordCycle, FalseBatchResultKeepsAlarmSetByTheCheck) {
  TestDevice device;
  device.on_check = [](TestDevice& d) { d.alarm_active_ = true; };
  testing::internal::CaptureStdout();
  device.RoundDone();
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(device.alarm_active_);

  device.on_check = nullptr;
  testing::internal::CaptureStdout();
  device.RoundDone();
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(device.alarm_active_);
}

TEST(RecordCycleCacheRestore, RefusesAnyLengthButTheRecordSizeAndNullData) {
  TestDevice device;
  device.data_.col2 = 1.0f;
  const Bytes before = RecordOf(device);
  Bytes cached(136, 0x11);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(device.LoadFromCache(cached.data(), 134));
  EXPECT_FALSE(device.LoadFromCache(cached.data(), 136));
  EXPECT_FALSE(device.LoadFromCache(cached.data(), -135));
  EXPECT_FALSE(device.LoadFromCache(nullptr, 135));
  EXPECT_FALSE(device.LoadFromCache(nullptr, 0));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(RecordOf(device), before);
  EXPECT_FALSE(device.data_ready_);
  EXPECT_TRUE(qtxhost::RecordedCalls(device).empty());
}

TEST(RecordCycleCacheRestore, ReplacesTheWholeRecordAndPublishesItStampedNow) {
  TestDevice device;
  Bytes cached(135);
  for (std::size_t i = 0; i < cached.size(); ++i) cached[i] = static_cast<unsigned char>(i * 7);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(device.LoadFromCache(cached.data(), 135));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "rvSize is 0\n");

  const auto calls = qtxhost::RecordedCalls(device);
  ASSERT_EQ(calls.size(), 4u);
  const Bytes& published = calls[0].bytes;
  // data_id and every column come from the cache; the cached stamp never
  // reaches the host.
  EXPECT_TRUE(std::equal(cached.begin(), cached.begin() + 128, published.begin()));
  const ttime_t stamp = get_ttime(device.last_sample_time_);
  EXPECT_TRUE(std::equal(stamp.begin(), stamp.end(), published.begin() + 128));
  EXPECT_EQ(calls[3].bytes, published);
  EXPECT_EQ(RecordOf(device), published);
  EXPECT_TRUE(device.data_ready_);
}

TEST(RecordCycleReferenceHost, TimeStampIsYearLittleEndianThenMonthDayHourMinuteSecond) {
  const auto time = boost::posix_time::time_from_string("2026-12-09 05:07:59");
  EXPECT_EQ(get_ttime(time), (ttime_t{0xEA, 0x07, 12, 9, 5, 7, 59}));
  EXPECT_EQ(get_ttime(boost::posix_time::ptime()), ttime_t{});
}

}  // namespace
