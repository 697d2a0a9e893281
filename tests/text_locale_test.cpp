// Text the plug-in builds comes out the same whatever global C++ locale the
// host sets: no digit grouping, no decimal comma.
#include <gtest/gtest.h>

#include <json/value.h>
#include <locale>
#include <sstream>
#include <string>

#include "driver/snmp_varno_pdu.h"
#include "host_calls.h"
#include "support/test_device.h"

namespace {

// Groups digits by three with "." and writes a decimal comma.
class CommaPunct : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

// Makes that the global locale for its lifetime.
class GlobalCommaLocale {
 public:
  GlobalCommaLocale()
      : previous_(std::locale::global(std::locale(std::locale::classic(), new CommaPunct))) {}
  ~GlobalCommaLocale() { std::locale::global(previous_); }

 private:
  std::locale previous_;
};

class TestPdu : public SNMP_VARNO_PDU {
 public:
  using SNMP_VARNO_PDU::b_mode_;
  using SNMP_VARNO_PDU::signal_seq_;
};

TEST(TextLocale, GroupingAndDecimalCommaChangeNoLineAndNoSignalId) {
  const GlobalCommaLocale comma;
  std::ostringstream probe;  // a stream of the host's would look like this
  probe << 1234.5;
  ASSERT_EQ(probe.str(), "1.234,5");

  TestDevice device;
  device.data_id_ = 123456;
  device.threshold_levels_["r"] = 1000;
  device.threshold_values_["r"] = 1234.5f;
  Json::Value config(Json::objectValue);
  config["appSetting"]["b_mode"] = "3";
  config["thresholdSetting"]["r"]["NMAlarmID"] = "A";
  config["thresholdSetting"]["r"]["ID"] = "1";
  config["thresholdSetting"]["r"]["SignalNumber"] = "2";
  testing::internal::CaptureStdout();
  device.InitSetting(config);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "InitSetting 123456 b_mode_:3\nhere 1\nhere 2\nhere r\n"
            "mobile:r:A;1;2; level:1000 value:1234.5\n");

  TestPdu pdu;
  pdu.b_mode_ = 2;
  pdu.signal_seq_ = 1234;
  pdu.RunCheckThreshold();
  const auto calls = qtxhost::RecordedCalls(pdu);
  ASSERT_EQ(calls.size(), 14u);
  EXPECT_EQ(calls[0].signal_id, "1208301712340");
  EXPECT_EQ(calls[0].signal_id2, "1208301712340");
}

}  // namespace
