// pdu-host: the built tool driving the real plug-in against the simulated
// PDU (events, reports, threads, cache round trip, exit statuses), and its
// event and report formatting checked in-process.
#include <gtest/gtest.h>

#include <json/reader.h>
#include <json/value.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/record_text.h"
#include "common/text_columns.h"
#include "driver/record/pdu_alarms.h"
#include "driver/record/pdu_record.h"
#include "driver/v3/snmp_credentials.h"
#include "host_calls.h"
#include "run_as_host/event_log.h"
#include "run_as_host/record_report.h"
#include "sim/pdu_agent_process.h"
#include "support/ber.h"
#include "support/pdu_host_run.h"
#include "support/scripted_agent.h"
#include "verdict/walk_verdict.h"

namespace {

using pdu_host_run::FromHex;
using pdu_host_run::ReadJsonLines;
using pdu_host_run::TempDir;
using qtxhost::HostCall;

constexpr std::chrono::seconds kRunBound{60};

// The test table: distinct measurement values, two float columns, and alarm
// columns 13, 29 and 341 set (29 with a value other than 1).
std::map<unsigned, float> TableValues() {
  std::map<unsigned, float> values;
  for (unsigned column = 2; column <= 30; ++column) values[column] = 1000.0f + 7.0f * column;
  for (const pdu::AlarmSignal& signal : pdu::kAlarmSignals) values[signal.column] = 0;
  values[13] = 1;
  values[29] = 3;
  values[341] = 1;
  values[21] = 49.98f;
  values[342] = -12.5f;
  return values;
}

std::string TableText() {
  std::string text = "# pdu-host test table\n";
  for (const auto& [column, value] : TableValues()) {
    const bool is_float = column == 21 || column == 342;
    char line[64];
    if (is_float) {
      std::snprintf(line, sizeof line, "%u.1 float %s\n", column, column == 21 ? "49.98" : "-12.5");
    } else {
      std::snprintf(line, sizeof line, "%u.1 integer %d\n", column, static_cast<int>(value));
    }
    text += line;
  }
  return text;
}

std::string ExpectedSignalId(unsigned seq) {
  char id[32];
  std::snprintf(id, sizeof id, "12083017%03u0", seq);
  return id;
}

// One device object of the configuration; a null setting is left out.
std::string DeviceJson(unsigned id, const std::string& address, const char* b_mode,
                       const char* use_thread) {
  Json::Value device(Json::objectValue);
  device["id"] = id;
  device["address"] = address;
  if (b_mode != nullptr) device["appSetting"]["b_mode"] = b_mode;
  if (use_thread != nullptr) device["appSetting"]["use_thread"] = use_thread;
  device["thresholdSetting"] = Json::Value(Json::objectValue);
  return device.toStyledString();
}

std::string ConfigJson(const std::vector<std::string>& devices) {
  std::string text = "{\"devices\": [";
  for (std::size_t i = 0; i < devices.size(); ++i) text += (i ? "," : "") + devices[i];
  return text + "]}";
}

pdu_host_run::Result RunHost(const TempDir& dir, const std::vector<std::string>& args,
                             std::chrono::seconds bound = kRunBound) {
  auto result = pdu_host_run::Run(pdu_host_run::Command(PDU_HOST_LAUNCHER, PDU_HOST_EXE, args),
                                  dir.path(), bound);
  EXPECT_TRUE(result.finished) << "pdu-host did not finish within " << bound.count() << " s";
  return result;
}

std::vector<Json::Value> EventsOf(const std::vector<Json::Value>& events, unsigned device) {
  std::vector<Json::Value> mine;
  for (const Json::Value& event : events) {
    if (event["device"].asUInt() == device) mine.push_back(event);
  }
  return mine;
}

struct Cycle {
  std::vector<unsigned char> sent;
  std::vector<unsigned char> stored;
  std::vector<Json::Value> checks;
  Json::Value batch;
};

// Splits one device's events into record cycles, checking that each is
// SendSP, Reset, `checks` x CheckThresholdBool, DoBatchCheckThreshold,
// SaveDeviceHistory and nothing else.
std::vector<Cycle> CyclesOf(const std::vector<Json::Value>& events, std::size_t checks) {
  std::vector<Cycle> cycles;
  const std::size_t per_cycle = checks + 4;
  EXPECT_EQ(events.size() % per_cycle, 0u) << "events do not form whole cycles";
  for (std::size_t start = 0; start + per_cycle <= events.size(); start += per_cycle) {
    const auto call = [&](std::size_t k) { return events[start + k]["call"].asString(); };
    Cycle cycle;
    EXPECT_EQ(call(0), "SendSP");
    EXPECT_EQ(events[start]["type"].asInt(), 5156);
    EXPECT_EQ(events[start]["length"].asUInt(), 135u);
    EXPECT_FALSE(events[start]["flag"].asBool());
    cycle.sent = FromHex(events[start]["record"].asString());
    EXPECT_EQ(call(1), "Reset");
    for (std::size_t k = 0; k < checks; ++k) {
      EXPECT_EQ(call(2 + k), "CheckThresholdBool");
      cycle.checks.push_back(events[start + 2 + k]);
    }
    EXPECT_EQ(call(2 + checks), "DoBatchCheckThreshold");
    cycle.batch = events[start + 2 + checks];
    EXPECT_EQ(call(3 + checks), "SaveDeviceHistory");
    EXPECT_EQ(events[start + 3 + checks]["length"].asUInt(), 135u);
    cycle.stored = FromHex(events[start + 3 + checks]["record"].asString());
    EXPECT_EQ(cycle.stored, cycle.sent) << "SaveDeviceHistory stores other bytes than SendSP";
    cycles.push_back(cycle);
  }
  return cycles;
}

SNMP_VARNO_PDU_Data_t RecordOf(const std::vector<unsigned char>& bytes) {
  SNMP_VARNO_PDU_Data_t record{};
  EXPECT_EQ(bytes.size(), sizeof record);
  if (bytes.size() == sizeof record) std::memcpy(&record, bytes.data(), sizeof record);
  return record;
}

void ExpectTableRecord(const std::vector<unsigned char>& bytes, unsigned data_id) {
  const SNMP_VARNO_PDU_Data_t record = RecordOf(bytes);
  EXPECT_EQ(record.data_id, data_id);
  for (const auto& [column, value] : TableValues()) {
    EXPECT_EQ(pdu::ReadColumn(record, pdu::ColumnOffset(column)), value) << "col" << column;
  }
}

// Mode 2: the fourteen signals in order, active exactly where the table's
// alarm column is non-zero.
void ExpectAlarmChecks(const std::vector<Json::Value>& checks) {
  ASSERT_EQ(checks.size(), pdu::kAlarmSignalCount);
  const auto values = TableValues();
  for (unsigned k = 0; k < checks.size(); ++k) {
    const Json::Value& check = checks[k];
    const pdu::AlarmSignal& signal = pdu::kAlarmSignals[k];
    SCOPED_TRACE("signal " + std::to_string(k + 1));
    EXPECT_EQ(check["level"].asInt(), 2);
    EXPECT_EQ(check["id"].asString(), ExpectedSignalId(k + 1));
    EXPECT_EQ(check["id2"].asString(), ExpectedSignalId(k + 1));
    EXPECT_EQ(check["group"].asString(), pdu::kAlarmGroupText);
    EXPECT_EQ(check["text"].asString(), signal.text);
    EXPECT_EQ(check["active"].asBool(), values.at(signal.column) != 0);
    EXPECT_EQ(check["seq"].asUInt(), k + 1);
  }
}

std::string TimeText(const std::vector<unsigned char>& record) {
  return pdu_host::FormatTimeStamp(record.data() + offsetof(SNMP_VARNO_PDU_Data_t, ttime));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Runs against one simulated PDU serving the test table, shared by the suite.
class PduHostAgainstAgent : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    table_dir_ = new TempDir;
    pdu_agent::PduAgentOptions options;
    options.data_file = table_dir_->Write("table.txt", TableText());
    agent_ = new pdu_agent::PduAgentProcess(PDU_SIM_DIR, options);
  }
  static void TearDownTestSuite() {
    delete agent_;
    delete table_dir_;
    agent_ = nullptr;
    table_dir_ = nullptr;
  }
  static const std::string& address() { return agent_->address(); }

  TempDir dir_;

 private:
  static pdu_agent::PduAgentProcess* agent_;
  static TempDir* table_dir_;
};

pdu_agent::PduAgentProcess* PduHostAgainstAgent::agent_ = nullptr;
TempDir* PduHostAgainstAgent::table_dir_ = nullptr;

TEST_F(PduHostAgainstAgent, PolledDevicesPublishTheTableInWholeOrderedCycles) {
  const std::string config = dir_.Write(
      "config.json",
      ConfigJson({DeviceJson(7, address(), "2", "0"), DeviceJson(8, address(), nullptr, nullptr)}));
  const auto run = RunHost(dir_, {"--config", config, "--passes", "2", "--events", "events.jsonl"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto events = ReadJsonLines(dir_.path() + "/events.jsonl");

  const auto mode2 = CyclesOf(EventsOf(events, 7), pdu::kAlarmSignalCount);
  ASSERT_EQ(mode2.size(), 2u);
  for (const Cycle& cycle : mode2) {
    ExpectTableRecord(cycle.sent, 7);
    ExpectAlarmChecks(cycle.checks);
    EXPECT_EQ(cycle.batch["rules"].asUInt(), 14u);
    EXPECT_TRUE(cycle.batch["result"].asBool());
  }
  const auto mode1 = CyclesOf(EventsOf(events, 8), 0);
  ASSERT_EQ(mode1.size(), 2u);
  for (const Cycle& cycle : mode1) {
    ExpectTableRecord(cycle.sent, 8);
    EXPECT_EQ(cycle.batch["rules"].asUInt(), 0u);
    EXPECT_FALSE(cycle.batch["result"].asBool());
  }

  EXPECT_NE(run.out.find("[device 7] rvSize is 14\n"), std::string::npos);
  EXPECT_NE(run.out.find("=== device 7 · record 2 · " + TimeText(mode2[1].sent) +
                         " · sampled · data_id 7 ==="),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("active signals (3 of 14): 回路电压告警 C1 [120830170030], "
                         "支路1电流告警 [120830170120], 通讯状态 [120830170140]; "
                         "batch check: alarm (14 rules)"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("alarm signals: none reported (b_mode 1; the plug-in reports alarm "
                         "signals in mode 2 only)"),
            std::string::npos);
  EXPECT_NE(run.out.find("col342      -12.5"), std::string::npos) << run.out;
}

TEST_F(PduHostAgainstAgent, ThreadedDevicesWriteWholeEventLinesAndWholeReports) {
  const std::string config = dir_.Write(
      "config.json",
      ConfigJson({DeviceJson(7, address(), "2", "1"), DeviceJson(8, address(), "2", " 3x")}));
  const auto start = std::chrono::steady_clock::now();
  const auto run = RunHost(
      dir_, {"--config", config, "--passes", "2", "--seconds", "30", "--events", "events.jsonl"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  std::vector<Json::Value> events;
  ASSERT_NO_THROW(events = ReadJsonLines(dir_.path() + "/events.jsonl"));
  for (unsigned id : {7u, 8u}) {
    SCOPED_TRACE("device " + std::to_string(id));
    const auto cycles = CyclesOf(EventsOf(events, id), pdu::kAlarmSignalCount);
    EXPECT_GE(cycles.size(), 2u);
    for (const Cycle& cycle : cycles) ExpectTableRecord(cycle.sent, id);
  }

  // Every report is one block: header, 17 table rows, signals line.
  const auto lines = Lines(run.out);
  std::size_t reports = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("=== device ", 0) != 0) continue;
    ++reports;
    ASSERT_LT(i + 18, lines.size());
    for (std::size_t row = 1; row <= 17; ++row) {
      EXPECT_EQ(lines[i + row].rfind("  col", 0), 0u) << "report interrupted: " << lines[i + row];
    }
    EXPECT_EQ(lines[i + 18].rfind("  active signals (3 of 14)", 0), 0u) << lines[i + 18];
  }
  EXPECT_GE(reports, 4u);
  // Named by its data identifier while the other device's thread runs.
  EXPECT_NE(run.out.find("[device 8] InitSetting 8 b_mode_:2\n"), std::string::npos) << run.out;
}

TEST_F(PduHostAgainstAgent, CacheOutThenCacheInRepublishesTheSavedRecord) {
  const std::string sampled =
      dir_.Write("sampled.json", ConfigJson({DeviceJson(7, address(), "2", "0")}));
  const auto first =
      RunHost(dir_, {"--config", sampled, "--cache-out", "record.bin", "--events", "first.jsonl"});
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string saved = pdu_host_run::ReadFile(dir_.path() + "/record.bin");
  const auto first_cycles = CyclesOf(ReadJsonLines(dir_.path() + "/first.jsonl"), 14);
  ASSERT_EQ(first_cycles.size(), 1u);
  ASSERT_EQ(saved, std::string(first_cycles[0].sent.begin(), first_cycles[0].sent.end()));

  // No address: the cache restore is the only cycle.
  const std::string restored =
      dir_.Write("restored.json", ConfigJson({DeviceJson(9, "", "2", "0")}));
  const auto second = RunHost(dir_, {"--config", restored, "--cache-in", "record.bin", "--passes",
                                     "0", "--events", "second.jsonl"});
  ASSERT_EQ(second.status, 0) << second.err;
  const auto cycles = CyclesOf(ReadJsonLines(dir_.path() + "/second.jsonl"), 14);
  ASSERT_EQ(cycles.size(), 1u);
  const std::size_t stamp = offsetof(SNMP_VARNO_PDU_Data_t, ttime);
  EXPECT_EQ(std::string(cycles[0].sent.begin(), cycles[0].sent.begin() + stamp),
            saved.substr(0, stamp));
  ExpectAlarmChecks(cycles[0].checks);
  EXPECT_NE(second.out.find("=== device 9 · record 1 · " + TimeText(cycles[0].sent) +
                            " · restored from cache · data_id 7 ==="),
            std::string::npos)
      << second.out;
}

// Started with standard output or error closed (cron, `>&-`), the run is as
// quick as with them open (each sync of the capture waited 10 s: 90 s) and
// passes on what goes to the other.
TEST_F(PduHostAgainstAgent, ClosedStandardDescriptorsCostNothing) {
  for (const std::string closing : {">&-", "2>&-"}) {
    std::vector<std::string> command = {"/bin/sh", "-c", "exec \"$@\" " + closing, "sh"};
    for (const std::string& word : pdu_host_run::Command(
             PDU_HOST_LAUNCHER, PDU_HOST_EXE, {"--address", address(), "--passes", "1"})) {
      command.push_back(word);
    }
    const auto run = pdu_host_run::Run(command, dir_.path(), std::chrono::seconds(45));
    EXPECT_TRUE(run.finished && run.status == 0 && run.err.empty()) << closing << run.err;
    if (closing == "2>&-") {
      EXPECT_NE(run.out.find("[device 1] SNMP_VARNO_PDU::do_sample\n"), std::string::npos)
          << run.out;
    }
  }
}

// One of two threaded devices, sampling at the same moment, fails at once
// with a line that names no PDU: the line is its own, and the run fails
// naming it alone, beside its records and in the summary.
TEST(PduHostThreadedLine, AFailingThreadedPduTaintsNoOtherDevice) {
  // Keeps device 7's pass going while device 8's fails at once.
  ScriptedAgent slow([](const ber::Request& request, int) -> std::optional<ber::Bytes> {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    if (request.names.empty()) return std::nullopt;
    return ber::Response(request.request_id, 0, 0,
                         {ber::Binding(request.names[0], ber::Tlv(0x82, {}))});  // endOfMibView
  });
  TempDir dir;
  const std::string config =
      dir.Write("config.json", ConfigJson({DeviceJson(7, slow.address(), "2", "1"),
                                           DeviceJson(8, "127.0.0.1:0", "2", "1")}));
  const auto run = RunHost(dir, {"--config", config});
  EXPECT_EQ(run.status, 1) << run.err;
  for (const char* text :
       {"[device 8] snmp get error 1\n",
        " · sampled, no answer: nothing read yet, every field 0 · data_id 8 ===\n",
        "  plug-in: snmp get error 1\n"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << " in\n" << run.out;
  }
  EXPECT_NE(run.err.find("device 8 (devices[1]): its last pass ended without an answer"),
            std::string::npos)
      << run.err;
  for (const std::string& text : {std::string("[plug-in]"), std::string(" or 8"),
                                  std::string("perhaps"), std::string("device 7 (devices[0]):")}) {
    EXPECT_EQ((run.out + run.err).find(text), std::string::npos) << text << run.out << run.err;
  }
  const std::string summary = run.out.substr(run.out.find("=== run summary"));
  EXPECT_NE(summary.find("no time-out or error"), std::string::npos) << summary;
}

TEST(PduHostExitStatus, DevicesThatPublishFewerRecordsThanPassesExitOne) {
  TempDir dir;
  const std::string polled = dir.Write("polled.json", ConfigJson({DeviceJson(5, "", "2", "0")}));
  auto run = RunHost(dir, {"--config", polled, "--passes", "2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("device 5 (devices[0]) published 0 of 2 records (polled"),
            std::string::npos)
      << run.err;

  const std::string threaded =
      dir.Write("threaded.json", ConfigJson({DeviceJson(6, "", "2", "1")}));
  const auto start = std::chrono::steady_clock::now();
  run = RunHost(dir, {"--config", threaded, "--seconds", "0.5"});
  EXPECT_EQ(run.status, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(run.err.find("device 6 (devices[0]) published 0 of 1 records within 0.5 s (threaded)"),
            std::string::npos)
      << run.err;

  run = RunHost(dir, {"--config", polled, "--passes", "0", "--cache-out", "none.bin"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no record was published"), std::string::npos) << run.err;
}

TEST(PduHostExitStatus, BadInputExitsTwoNamingTheProblemAndPollsNothing) {
  TempDir dir;
  const std::string good = ConfigJson({DeviceJson(7, "127.0.0.1:1", "2", "0")});
  dir.Write("good.json", good);
  dir.Write("short.bin", std::string(134, '\0'));
  dir.Write("long.bin", std::string(136, '\0'));
  struct Case {
    std::string config;  // written to config.json unless empty
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", {"--config", "missing.json"}, "cannot read config file missing.json"},
      {"{\"devices\": [", {}, "is not valid JSON"},
      {"{}", {}, "devices: missing"},
      {"{\"devices\": {}}", {}, "devices: must be an array of device objects, not an object"},
      {"{\"devices\": []}", {}, "devices: is empty"},
      {"{\"devices\": [7]}", {}, "devices[0]: must be an object"},
      {"{\"devices\": [{\"address\": \"\"}]}", {}, "devices[0] id: missing"},
      {"{\"devices\": [{\"id\": \"7\", \"address\": \"\"}]}", {}, "not the string \"7\""},
      {"{\"devices\": [{\"id\": 7.5, \"address\": \"\"}]}", {}, "not the number 7.5"},
      {"{\"devices\": [{\"id\": 7.0, \"address\": \"\"}]}", {}, "id: must be an integer"},
      {"{\"devices\": [{\"id\": -1, \"address\": \"\"}]}", {}, "not the integer -1"},
      {"{\"devices\": [{\"id\": 4294967296, \"address\": \"\"}]}", {}, "from 0 to 4294967295"},
      {"{\"devices\": [{\"id\": 7}]}", {}, "devices[0] (id 7) address: missing"},
      {"{\"devices\": [{\"id\": 7, \"address\": 1}]}", {}, "address: must be a string"},
      {"{\"devices\": [{\"id\": 1, \"address\": \"\"}, {\"id\": 1, \"address\": \"\"}]}",
       {},
       "devices[1] (id 1) id: 1 is already used by devices[0]"},
      {good, {"--plugin", dir.path() + "/none.so"}, "cannot load plugin"},
      {good, {"--plugin", QTXHOST_LIBRARY}, "has no get_providers"},
      {good, {"--cache-in", "missing.bin"}, "cannot read cache file missing.bin"},
      {good, {"--cache-in", "short.bin"}, "cache file short.bin is 134 bytes"},
      {good, {"--cache-in", "long.bin"}, "cache file long.bin is 136 bytes"},
      {good, {"--events", dir.path() + "/no/such/dir.jsonl"}, "cannot write events file"},
      {good, {"--record", "no/such/dir/x.snmprec"}, "cannot write record file no/such/dir/x"},
      {good, {"--cache-out", "no/such/dir/c.bin"}, "cannot write cache file no/such/dir/c.bin"},
      {good, {"--passes", "x"}, "--passes needs a whole number"},
      {good, {"--passes", "-1"}, "--passes needs a whole number"},
      {good, {"--seconds", "0"}, "--seconds needs a number"},
      {good, {"--seconds", "inf"}, "--seconds needs a number"},
      {good, {"--seconds", "0x10"}, "--seconds needs a number"},
      {good, {"--verbose"}, "unknown option '--verbose'"},
      {good, {"stray"}, "unexpected argument 'stray'"},
      {good, {"--passes"}, "--passes"},
      {good, {"--config", "good.json"}, "--config"},
      {"", {}, "--config FILE or --address ADDR is required"},
      {"", {"--explain", "--record", "table.txt"}, "--config FILE or --address ADDR is required"},
      {good, {"--address", "127.0.0.1:1"}, "--config and --address do not go together"},
      {"", {"--address", ""}, "--address needs a non-empty address"},
      {"", {"--address", "127.0.0.1:1", "--record", ""}, "--record needs a non-empty file name"},
      {"", {"--address", "127.0.0.1:1", "--explain=yes"}, "explain was given"},
      {good, {"--survey", "--explain"}, "--survey and --explain do not go together"},
      {good, {"--check", "--passes", "2"}, "--check and --passes do not go together"},
      {good, {"--version"}, "--version and --config do not go together"},
      {ConfigJson({DeviceJson(7, "", "2", "0"), DeviceJson(8, "", "2", "0")}),
       {"--record", "table.txt"},
       "--record captures one device's table; config file config.json has 2 devices"},
      {ConfigJson({DeviceJson(7, "", "2", "0")}),
       {"--record", "table.txt"},
       "--record needs a device with an address"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = c.args;
    if (!c.config.empty()) {
      dir.Write("config.json", c.config);
      args.insert(args.begin(), {"--config", "config.json"});
    }
    const auto run = RunHost(dir, args, std::chrono::seconds(20));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "") << "something was initialised or polled";
    // One line a problem (a configuration's every mistake, and that nothing was polled).
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.rfind("pdu-host: ", 0), 0u) << run.err;
    }
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST(PduHostExitStatus, HelpNamesEveryOptionAndExitStatus) {
  TempDir dir;
  const auto run = RunHost(dir, {"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* word :
       {"--config", "--address", "--plugin", "--passes", "--seconds", "--events", "--cache-in",
        "--cache-out", "--explain", "--record", "--survey", "--check", "Exit status",
        "snmp_varno_pdu.so", "ended without an answer", "--check: findings"}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
}

// What an engineer on the host has: --help-config, the release README's
// last section, names every member a device reads and every survey state.
TEST(PduHostExitStatus, HelpConfigNamesEveryMemberAndEverySurveyState) {
  TempDir dir;
  const auto run = RunHost(dir, {"--help-config"});
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> members = pdu::CredentialMembers();
  for (const char* member : {"id", "address", "thresholdSetting", "b_mode", "use_thread",
                             "SignalName", "NMAlarmID", "SignalNumber"}) {
    members.push_back(member);
  }
  for (const std::string& member : members) {
    EXPECT_NE(run.out.find("\n  " + member + " "), std::string::npos) << member;
  }
  for (const pdu_host::SurveyState state : pdu_host::kSurveyStates) {
    EXPECT_NE(run.out.find(std::string("\n  ") + pdu_host::StateWords(state) + "  "),
              std::string::npos)
        << pdu_host::StateWords(state);
  }
  EXPECT_NE(pdu_host_run::ReadFile(PDU_SIM_DIR "/../tools/release-readme.txt").find(run.out),
            std::string::npos);
}

// The field layout other tools parse.
TEST(PduHostEventLine, EachCallHasItsFixedFields) {
  HostCall send;
  send.kind = HostCall::Kind::kSendSP;
  send.record_type = 5156;
  send.bytes = {0x07, 0x00, 0xab, 0xff};
  send.length = 135;
  EXPECT_EQ(pdu_host::EventLine(7, send),
            "{\"device\":7,\"call\":\"SendSP\",\"type\":5156,\"length\":135,\"flag\":false,"
            "\"record\":\"0700abff\"}\n");
  HostCall reset;
  reset.kind = HostCall::Kind::kReset;
  EXPECT_EQ(pdu_host::EventLine(7, reset), "{\"device\":7,\"call\":\"Reset\"}\n");
  HostCall check;
  check.kind = HostCall::Kind::kCheckThresholdBool;
  check.level = 2;
  check.signal_id = check.signal_id2 = "120830170010";
  check.group_text = pdu::kAlarmGroupText;
  check.alarm_text = "总电流预警 L1";
  check.seq = 1;
  EXPECT_EQ(pdu_host::EventLine(7, check),
            "{\"device\":7,\"call\":\"CheckThresholdBool\",\"level\":2,\"id\":\"120830170010\","
            "\"id2\":\"120830170010\",\"group\":\"专用空调其他告警\",\"text\":\"总电流预警 L1\","
            "\"active\":false,\"seq\":1}\n");
  HostCall batch;
  batch.kind = HostCall::Kind::kDoBatchCheckThreshold;
  batch.rule_count = 14;
  batch.result = true;
  EXPECT_EQ(pdu_host::EventLine(4294967295u, batch),
            "{\"device\":4294967295,\"call\":\"DoBatchCheckThreshold\",\"rules\":14,"
            "\"result\":true}\n");
  HostCall save;
  save.kind = HostCall::Kind::kSaveDeviceHistory;
  save.length = 2;
  save.bytes = {0x10, 0x0f};
  EXPECT_EQ(pdu_host::EventLine(0, save),
            "{\"device\":0,\"call\":\"SaveDeviceHistory\",\"length\":2,\"record\":\"100f\"}\n");
}

TEST(PduHostEventLine, TextsSurviveAJsonParserAndInvalidUtf8BecomesReplacement) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const auto parse = [&](const std::string& json) {
    Json::Value value;
    std::string errors;
    const std::string document = "[" + json + "]";  // strict mode wants an array or object
    EXPECT_TRUE(reader->parse(document.data(), document.data() + document.size(), &value, &errors))
        << json << errors;
    return value[0].asString();
  };
  const std::string texts[] = {"plain", "quote \" backslash \\ slash /",
                               std::string("controls \x01\x1f\x7f\n\r\t end") + '\0' + "after",
                               "专用空调其他告警", "four bytes \xF0\x9F\x94\x8C"};
  for (const std::string& text : texts) {
    const std::string json = pdu_host::JsonString(text);
    EXPECT_EQ(parse(json), text) << json;
    for (char c : json) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << json;
  }
  EXPECT_EQ(pdu_host::JsonString("专"), "\"专\"");  // UTF-8 kept, not escaped
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(parse(pdu_host::JsonString("a\xFF"
                                       "b")),
            "a" + replacement + "b");
  EXPECT_EQ(parse(pdu_host::JsonString("\xE4\xB8")), replacement + replacement);
  EXPECT_EQ(parse(pdu_host::JsonString("\xED\xA0\x80")), replacement + replacement + replacement);
}

TEST(PduHostReport, ColumnsLineUpOnATerminalWhateverTheValuesAndTexts) {
  SNMP_VARNO_PDU_Data_t record{};
  record.data_id = 3;
  for (unsigned column = 2; column <= 30; ++column) {
    pdu::WriteColumn(record, pdu::ColumnOffset(column), static_cast<float>(column) * 100.25f);
  }
  pdu::WriteColumn(record, pdu::ColumnOffset(341), std::numeric_limits<float>::quiet_NaN());
  pdu::WriteColumn(record, pdu::ColumnOffset(342), -std::numeric_limits<float>::infinity());
  const unsigned char stamp[7] = {0xE8, 0x07, 2, 29, 23, 59, 58};
  std::memcpy(record.ttime, stamp, sizeof stamp);
  pdu_host::CycleReport cycle;
  cycle.device_id = 3;
  cycle.number = 12;
  cycle.b_mode = 2;
  cycle.record.assign(reinterpret_cast<const unsigned char*>(&record),
                      reinterpret_cast<const unsigned char*>(&record) + sizeof record);
  const std::string report = pdu_host::FormatReport(cycle);

  const auto lines = Lines(report);
  ASSERT_EQ(lines.size(), 19u) << report;
  EXPECT_EQ(lines[0], "=== device 3 · record 12 · 2024-02-29 23:59:58 · sampled · data_id 3 ===");
  std::size_t separator = std::string::npos;
  std::size_t alarm_text = std::string::npos;
  for (std::size_t row = 1; row <= 17; ++row) {
    const std::string& line = lines[row];
    const std::size_t at = line.find(" |");
    ASSERT_NE(at, std::string::npos) << line;
    if (separator == std::string::npos) separator = at;
    EXPECT_EQ(at, separator) << line;
    if (row <= pdu::kAlarmSignalCount) {
      // Wide characters take two terminal columns: line up by display width.
      const std::size_t text_at = line.find(pdu::kAlarmSignals[row - 1].text);
      ASSERT_NE(text_at, std::string::npos) << line;
      const std::size_t width = pdu_host::DisplayWidth(line.substr(0, text_at));
      if (alarm_text == std::string::npos) alarm_text = width;
      EXPECT_EQ(width, alarm_text) << line;
    }
  }
  EXPECT_NE(report.find("col341        nan"), std::string::npos) << report;
  EXPECT_NE(report.find("col342       -inf"), std::string::npos) << report;
  EXPECT_NE(report.find("col21     2105.25"), std::string::npos) << report;
  EXPECT_EQ(lines[18], "  alarm signals: none reported");
  EXPECT_EQ(pdu_host::DisplayWidth("通讯状态 C1"), 11u);
  EXPECT_EQ(pdu_host::FormatValue(500.0f), "500");
  EXPECT_EQ(pdu_host::FormatValue(0.1f), "0.1");

  const unsigned char zero[7] = {};
  EXPECT_EQ(pdu_host::FormatTimeStamp(zero), "no time stamp");
  cycle.record.resize(134);
  EXPECT_EQ(pdu_host::FormatReport(cycle),
            "=== device 3 · record 12 · record of 134 bytes, expected 135: not decoded ===\n");
}

}  // namespace
