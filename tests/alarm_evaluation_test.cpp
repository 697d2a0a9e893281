// Alarm evaluation: which signals a record cycle reports, with which
// identifiers, texts, states and sequence values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "driver/snmp_varno_pdu.h"
#include "host_calls.h"

namespace {

using qtxhost::HostCall;

class TestPdu : public SNMP_VARNO_PDU {
 public:
  using SNMP_VARNO_PDU::alarm_active_;
  using SNMP_VARNO_PDU::b_mode_;
  using SNMP_VARNO_PDU::data_;
  using SNMP_VARNO_PDU::signal_seq_;
};

std::vector<HostCall> Signals(const QTXVDevice& device) {
  std::vector<HostCall> signals;
  for (const auto& call : qtxhost::RecordedCalls(device)) {
    if (call.kind == HostCall::Kind::kCheckThresholdBool) signals.push_back(call);
  }
  return signals;
}

std::vector<bool> States(const QTXVDevice& device) {
  std::vector<bool> states;
  for (const auto& call : Signals(device)) states.push_back(call.active);
  return states;
}

TEST(AlarmEvaluation, RunsOnlyInModeTwo) {
  for (int mode : {1, 0, 3, -2, 22}) {
    TestPdu device;
    device.b_mode_ = mode;
    device.signal_seq_ = 9;
    device.data_.col11 = 1.0f;
    device.RunCheckThreshold();
    EXPECT_TRUE(qtxhost::RecordedCalls(device).empty()) << mode;
    EXPECT_EQ(device.signal_seq_, 9) << mode;
  }
}

TEST(AlarmEvaluation, ReportsFourteenSignalsInTableOrder) {
  TestPdu device;
  device.b_mode_ = 2;
  device.signal_seq_ = 1;
  device.RunCheckThreshold();
  const auto signals = Signals(device);
  ASSERT_EQ(signals.size(), 14u);
  const char* const ids[] = {"120830170010", "120830170020", "120830170030", "120830170040",
                             "120830170050", "120830170060", "120830170070", "120830170080",
                             "120830170090", "120830170100", "120830170110", "120830170120",
                             "120830170130", "120830170140"};
  const char* const texts[] = {
      "总电流预警 L1",        "总电压告警 L1",   "回路电压告警 C1", "回路电压告警 C2",
      "总电流告警 L1",        "回路电流告警 C1", "回路电流告警 C2", "第一路断路器告警标识",
      "第二路断路器告警标识", "其他故障",        "支路1电流预警",   "支路1电流告警",
      "支路1超限断电状态",    "通讯状态"};
  for (std::size_t i = 0; i < signals.size(); ++i) {
    EXPECT_EQ(signals[i].level, 2);
    EXPECT_EQ(signals[i].signal_id, ids[i]);
    EXPECT_EQ(signals[i].signal_id2, ids[i]);
    EXPECT_EQ(signals[i].group_text, "专用空调其他告警");
    EXPECT_EQ(signals[i].alarm_text, texts[i]);
    EXPECT_FALSE(signals[i].active);
    EXPECT_EQ(signals[i].seq, i + 1);
    EXPECT_EQ(signals[i].device_seq, i + 2);  // advanced before the host is called
  }
  EXPECT_EQ(device.signal_seq_, 15);
}

TEST(AlarmEvaluation, EachAlarmFieldDrivesItsOwnSignalOnly) {
  // Record offsets of col11..col20, col28..col30 and col341, in signal order.
  const std::size_t offsets[] = {40, 44, 48, 52, 56, 60, 64, 68, 72, 76, 108, 112, 116, 120};
  for (std::size_t i = 0; i < 14; ++i) {
    TestPdu device;
    device.b_mode_ = 2;
    device.signal_seq_ = 1;
    pdu::WriteColumn(device.data_, offsets[i], 1.0f);
    device.RunCheckThreshold();
    std::vector<bool> expected(14, false);
    expected[i] = true;
    EXPECT_EQ(States(device), expected) << offsets[i];
  }
  // Columns without an alarm feed no signal.
  TestPdu device;
  device.b_mode_ = 2;
  device.signal_seq_ = 1;
  for (unsigned column : {2u, 10u, 21u, 27u, 342u}) {
    pdu::WriteColumn(device.data_, pdu::ColumnOffset(column), 5.0f);
  }
  device.RunCheckThreshold();
  EXPECT_EQ(States(device), std::vector<bool>(14, false));
}

TEST(AlarmEvaluation, AnyValueButZeroIsActive) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::pair<float, bool> cases[] = {{0.0f, false}, {-0.0f, false}, {0.5f, true},
                                          {-1.0f, true}, {inf, true},    {-inf, true},
                                          {nan, true},   {1e-45f, true}};
  for (const auto& [value, active] : cases) {
    TestPdu device;
    device.b_mode_ = 2;
    device.data_.col341 = value;
    device.RunCheckThreshold();
    EXPECT_EQ(Signals(device).back().active, active) << value;
  }
}

TEST(AlarmEvaluation, SequenceWithoutTheCycleResetKeepsCounting) {
  TestPdu device;
  device.b_mode_ = 2;
  device.signal_seq_ = 1234;
  device.RunCheckThreshold();
  auto signals = Signals(device);
  EXPECT_EQ(signals.front().signal_id, "1208301712340");
  EXPECT_EQ(signals.front().seq, 1234);
  EXPECT_EQ(device.signal_seq_, 1248);

  qtxhost::ClearRecordedCalls(device);
  device.signal_seq_ = 65535;
  device.RunCheckThreshold();
  signals = Signals(device);
  EXPECT_EQ(signals[0].signal_id, "12083017655350");
  EXPECT_EQ(signals[0].seq, 65535);
  EXPECT_EQ(signals[1].signal_id, "120830170000");
  EXPECT_EQ(signals[1].seq, 0);
  EXPECT_EQ(device.signal_seq_, 13);
}

TEST(AlarmEvaluation, ARecordCycleReportsAllSignalsToTheBatchCheck) {
  TestPdu device;
  device.b_mode_ = 2;
  device.signal_seq_ = 500;
  device.data_.col20 = 1.0f;
  testing::internal::CaptureStdout();
  device.RoundDone();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "rvSize is 14\n");
  const auto calls = qtxhost::RecordedCalls(device);
  ASSERT_EQ(calls.size(), 18u);
  EXPECT_EQ(calls[0].kind, HostCall::Kind::kSendSP);
  EXPECT_EQ(calls[1].kind, HostCall::Kind::kReset);
  EXPECT_EQ(calls[2].seq, 1);  // the cycle restarts the sequence
  EXPECT_EQ(calls[16].kind, HostCall::Kind::kDoBatchCheckThreshold);
  EXPECT_EQ(calls[16].rule_count, 14u);
  EXPECT_TRUE(calls[16].result);
  EXPECT_EQ(calls[17].kind, HostCall::Kind::kSaveDeviceHistory);
  EXPECT_TRUE(device.alarm_active_);
  EXPECT_EQ(device.signal_seq_, 15);
}

}  // namespace
