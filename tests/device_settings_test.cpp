// Device settings: working mode, threshold-rule tables and their console
// trace, read from the host's configuration object.
#include <gtest/gtest.h>

#include <json/reader.h>
#include <json/value.h>
#include <climits>
#include <memory>
#include <string>

#include "support/test_device.h"

namespace {

Json::Value Parse(const std::string& text) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << text;
  return value;
}

// Runs InitSetting on `device` and returns what it wrote to standard output.
std::string Configure(TestDevice& device, const std::string& config, int* result = nullptr) {
  testing::internal::CaptureStdout();
  const int r = device.InitSetting(Parse(config));
  if (result != nullptr) *result = r;
  return testing::internal::GetCapturedStdout();
}

TEST(DeviceSettings, WithoutAppSettingKeepsModeButWritesIdAndCallsHost) {
  TestDevice device;
  device.data_id_ = 7;
  int result = 0;
  EXPECT_EQ(Configure(device, R"({"address": "127.0.0.1:16161"})", &result), "");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(device.b_mode_, 1);
  EXPECT_EQ(device.data_.data_id, 7u);
  EXPECT_EQ(device.address_, "127.0.0.1:16161");  // the host base ran
}

TEST(DeviceSettings, ModeIsReadByTheAtoiRule) {
  struct Case {
    const char* b_mode;
    int mode;
  };
  const Case cases[] = {
      {R"("2")", 2},
      {R"("abc")", 0},
      {R"(" -3x")", -3},
      {R"("+4")", 4},
      {R"("\t 5 6")", 5},
      {R"("")", 0},
      {"2", 2},
      {"true", 0},
      {"2.9", 2},
      {R"("-")", 0},
      {R"("99999999999")", INT_MAX},
      {R"("-99999999999")", INT_MIN},
  };
  for (const Case& c : cases) {
    TestDevice device;
    device.data_id_ = 12;
    const std::string out =
        Configure(device, std::string(R"({"appSetting": {"b_mode": )") + c.b_mode + "}}");
    EXPECT_EQ(device.b_mode_, c.mode) << c.b_mode;
    if (c.mode == 3) continue;
    EXPECT_EQ(out, "InitSetting 12 b_mode_:" + std::to_string(c.mode) + "\n") << c.b_mode;
  }
}

TEST(DeviceSettings, NullOrNonObjectMembersCountAsMissing) {
  for (const char* config :
       {R"({"appSetting": null})", R"({"appSetting": "b_mode"})", R"({"appSetting": [1]})",
        R"({"appSetting": {"b_mode": null}})", R"({"appSetting": {}})", "null", "[]", "5"}) {
    TestDevice device;
    device.b_mode_ = 2;
    EXPECT_EQ(Configure(device, config), "") << config;
    EXPECT_EQ(device.b_mode_, 2) << config;
  }
}

TEST(DeviceSettings, ModeThreeWithoutThresholdsWritesOnlyTwoLines) {
  TestDevice device;
  device.data_id_ = 3;
  EXPECT_EQ(Configure(device, R"({"appSetting": {"b_mode": "3"}, "thresholdSetting": null})"),
            "InitSetting 3 b_mode_:3\nhere 1\n");
  EXPECT_TRUE(device.alarm_ids_.empty());
}

TEST(DeviceSettings, ThresholdSettingWithoutMembersWritesHereTwoOnly) {
  for (const char* rules : {"5", R"("text")", "{}", "[{\"ID\": \"1\"}]"}) {
    TestDevice device;
    EXPECT_EQ(
        Configure(device, std::string(R"({"appSetting": {"b_mode": "3"}, "thresholdSetting": )") +
                              rules + "}"),
        "InitSetting 0 b_mode_:3\nhere 1\nhere 2\n")
        << rules;
    EXPECT_TRUE(device.alarm_ids_.empty());
  }
}

TEST(DeviceSettings, ModeThreeBuildsRuleTablesWithTrace) {
  TestDevice device;
  device.data_id_ = 42;
  device.threshold_levels_["full"] = 3;
  device.threshold_values_["full"] = 2.5f;
  const std::string out = Configure(device, R"({
    "appSetting": {"b_mode": "3"},
    "thresholdSetting": {
      "full": {"SignalName": "总电流", "NMAlarmID": "A7", "ID": "9", "SignalNumber": "4"},
      "bare": {},
      "nullid": {"NMAlarmID": "N", "ID": null, "SignalNumber": 12},
      "scalar": 17
    }})");
  EXPECT_EQ(out,
            "InitSetting 42 b_mode_:3\n"
            "here 1\n"
            "here 2\n"
            "here bare\n"
            "42 NMAlarmID is missing\n"
            "42 ID is missing\n"
            "42 SignalNumber is missing\n"
            "mobile:bare:;;; level:0 value:0\n"
            "here full\n"
            "mobile:full:A7;9;4; level:3 value:2.5\n"
            "here nullid\n"
            "42 ID is missing\n"
            "mobile:nullid:N;;12; level:0 value:0\n"
            "here scalar\n");
  EXPECT_EQ(device.alarm_ids_, (std::map<std::string, std::string>{
                                   {"bare", ";;;"}, {"full", "A7;9;4;"}, {"nullid", "N;;12;"}}));
  EXPECT_EQ(device.signal_names_, (std::map<std::string, std::string>{{"full", "总电流"}}));
  EXPECT_EQ(device.threshold_levels_.size(), 3u);  // inserted for bare and nullid
  EXPECT_EQ(device.threshold_values_.count("bare"), 1u);
  EXPECT_EQ(device.threshold_values_.count("scalar"), 0u);
}

TEST(DeviceSettings, LaterCallKeepsModeThreeAndOnlyGrowsTables) {
  TestDevice device;
  Configure(device, R"({"appSetting": {"b_mode": "3"},
                        "thresholdSetting": {"a": {"ID": "1"}, "b": {"ID": "2"}}})");
  const std::string out =
      Configure(device, R"({"appSetting": {}, "thresholdSetting": {"b": {"ID": "20"}, "c": {}}})");
  EXPECT_EQ(device.b_mode_, 3);
  EXPECT_EQ(out.rfind("here 1\nhere 2\nhere b\n", 0), 0u) << out;
  EXPECT_EQ(device.alarm_ids_,
            (std::map<std::string, std::string>{{"a", ";1;;"}, {"b", ";20;;"}, {"c", ";;;"}}));
}

TEST(DeviceSettings, OtherModesIgnoreThresholds) {
  for (const char* mode : {"1", "2", "0", "4"}) {
    TestDevice device;
    Configure(device, std::string(R"({"appSetting": {"b_mode": ")") + mode +
                          R"("}, "thresholdSetting": {"a": {"ID": "1"}}})");
    EXPECT_TRUE(device.alarm_ids_.empty()) << mode;
    EXPECT_TRUE(device.threshold_levels_.empty()) << mode;
  }
}

TEST(DeviceSettings, ValueWithoutTextFormRaisesAndSkipsTheHost) {
  TestDevice device;
  testing::internal::CaptureStdout();
  EXPECT_THROW(device.InitSetting(Parse(R"({"address": "x", "appSetting": {"b_mode": [2]}})")),
               Json::LogicError);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(device.address_, "");
  EXPECT_EQ(device.b_mode_, 1);

  TestDevice rules;
  testing::internal::CaptureStdout();
  EXPECT_THROW(rules.InitSetting(Parse(R"({"address": "x", "appSetting": {"b_mode": "3"},
      "thresholdSetting": {"a": {"ID": "1"}, "b": {"SignalName": {}}}})")),
               Json::LogicError);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "InitSetting 0 b_mode_:3\nhere 1\nhere 2\nhere a\n0 NMAlarmID is missing\n"
            "0 SignalNumber is missing\nmobile:a:;1;; level:0 value:0\nhere b\n");
  EXPECT_EQ(rules.alarm_ids_.size(), 1u);  // entries written before stay
  EXPECT_EQ(rules.address_, "");
}

}  // namespace
