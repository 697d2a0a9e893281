// pdu-host commissioning a site: --survey's verdict on healthy, empty,
// wrong-typed and unopenable PDUs, --check's findings on a configuration
// with every kind of mistake, and Ctrl-C during a survey or a run (the PDUs
// that do not answer are in pdu_host_silent_test.cpp).
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <json/reader.h>

#include "common/interruption.h"
#include "sim/pdu_agent_process.h"
#include "support/ber.h"
#include "support/pdu_host_run.h"
#include "support/scripted_agent.h"
#include "survey/survey_run.h"

namespace {

using pdu_host_run::Cells;
using pdu_host_run::TempDir;

pdu_host_run::Result RunHost(const TempDir& dir, const std::vector<std::string>& args,
                             pdu_host_run::Stderr stderr_to = pdu_host_run::Stderr::kFile,
                             const std::string& interrupt_when_out_has = "") {
  constexpr std::chrono::seconds kBound{60};
  auto result = pdu_host_run::Run(pdu_host_run::Command(PDU_HOST_LAUNCHER, PDU_HOST_EXE, args),
                                  dir.path(), kBound, stderr_to, interrupt_when_out_has);
  EXPECT_TRUE(result.finished) << "pdu-host did not finish within " << kBound.count() << " s";
  return result;
}

// Survey lines by their first cell (the id).
std::map<std::string, std::vector<std::string>> SurveyRows(const std::string& out) {
  std::map<std::string, std::vector<std::string>> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto cells = Cells(line);
    if (!cells.empty()) rows[cells[0]] = cells;
  }
  return rows;
}

// An agent that serves nothing under the table: endOfMibView at once.
ScriptedAgent::Script EndOfMibView() {
  return [](const ber::Request& request, int) -> std::optional<ber::Bytes> {
    if (request.names.empty()) return std::nullopt;
    return ber::Response(request.request_id, 0, 0,
                         {ber::Binding(request.names[0], ber::Tlv(0x82, {}))});
  };
}

// Columns 2-30, 341, 342 with column 3 as Gauge32, 4 as text and an
// extra column 99 that no field keeps.
std::string WrongTypesTable() {
  std::string text = "3.1 gauge 2298\n4.1 string 230.6 V\n341.1 integer 1\n342.1 integer 5\n";
  for (unsigned column = 2; column <= 30; ++column) {
    if (column != 3 && column != 4) text += std::to_string(column) + ".1 integer 7\n";
  }
  return text + "99.1 integer 7\n";
}

TEST(PduHostSiteSurvey, NamesTheStateFieldsAndFirstProblemOfEachPdu) {
  TempDir dir;
  pdu_agent::PduAgentProcess healthy(PDU_SIM_DIR, {});
  pdu_agent::PduAgentOptions wrong_types;
  wrong_types.data_file = dir.Write("wrong.txt", WrongTypesTable());
  pdu_agent::PduAgentProcess wrong(PDU_SIM_DIR, wrong_types);
  ScriptedAgent empty(EndOfMibView());
  const std::string config = dir.Write("site.json", R"({"devices": [{"id": 1, "address": ")" +
                                                        healthy.address() + R"("},
        {"id": 2, "address": ")" + wrong.address() + R"("},
        {"id": 3, "address": ")" + empty.address() + R"("},
        {"id": 4, "address": "127.0.0.1:abc"}, {"id": 5, "address": ""}]})");

  const auto run = RunHost(dir, {"--config", config, "--survey"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const auto rows = SurveyRows(run.out);
  ASSERT_EQ(rows.count("id"), 1u) << run.out;
  // id, address, state, fields, no field, requests, [time, problem]
  const std::map<std::string, std::vector<std::string>> expected = {
      {"1", {healthy.address(), "ok", "31/31", "0", "32"}},
      {"2", {wrong.address(), "partial", "29/31", "1", "33"}},
      {"3", {empty.address(), "empty table", "0/31", "0", "1"}},
      {"4", {"127.0.0.1:abc", "cannot open", "0/31", "0", "0"}},
      {"5", {"\"\"", "cannot open", "0/31", "0", "0"}},
  };
  for (const auto& [id, cells] : expected) {
    ASSERT_EQ(rows.count(id), 1u) << id << " has no line:\n" << run.out;
    const std::vector<std::string>& row = rows.at(id);
    ASSERT_GE(row.size(), 6u) << run.out;
    EXPECT_EQ(std::vector<std::string>(row.begin() + 1, row.begin() + 6), cells) << id;
  }
  EXPECT_EQ(rows.at("1").size(), 7u) << "an ok PDU has no problem: " << run.out;
  EXPECT_EQ(rows.at("2").back(),
            "col3 served as Gauge32, a type the plug-in does not store (2 fields in all; "
            "--explain lists them)");
  EXPECT_NE(rows.at("3").back().find("the agent answered, but serves nothing under "
                                     "1.3.6.1.4.1.44782.4.14.1.1"),
            std::string::npos);
  EXPECT_NE(rows.at("4").back().find("the port \"abc\" is not a number from 1 to 65535"),
            std::string::npos);
  EXPECT_NE(rows.at("5").back().find("the address is empty"), std::string::npos);
  EXPECT_NE(run.out.find("5 PDUs in "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(": 1 ok, 1 partial, 1 empty table, 2 cannot open\n"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("SNMP_VARNO_PDU"), std::string::npos) << "the plug-in walked";
  EXPECT_EQ(run.err.find("PDUs done"), std::string::npos) << "progress in a file: " << run.err;

  // The same survey as one JSON document: the table's values and words.
  const auto json = RunHost(dir, {"--config", config, "--survey", "--json"});
  EXPECT_EQ(json.status, 1) << json.err;
  Json::Value document;
  std::string error;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  ASSERT_TRUE(reader->parse(json.out.data(), json.out.data() + json.out.size(), &document, &error))
      << error << "\n"
      << json.out;
  ASSERT_EQ(document["pdus"].size(), 5u) << json.out;
  for (const Json::Value& pdu : document["pdus"]) {
    const std::vector<std::string>& row = rows.at(std::to_string(pdu["id"].asUInt()));
    const std::string shown =
        pdu["address"].asString().empty() ? "\"\"" : pdu["address"].asString();
    EXPECT_EQ(
        (std::vector<std::string>{
            shown, pdu["state"].asString(), std::to_string(pdu["fields"].asUInt()) + "/31",
            std::to_string(pdu["unkept"].asUInt()), std::to_string(pdu["requests"].asUInt())}),
        std::vector<std::string>(row.begin() + 1, row.begin() + 6));
    EXPECT_EQ(pdu["problem"].isNull() ? "" : pdu["problem"].asString(),
              row.size() > 7 ? row.back() : "");
  }
  const Json::Value& summary = document["summary"];
  for (const auto& [state, count] : std::map<std::string, unsigned>{{"pdus", 5},
                                                                    {"ok", 1},
                                                                    {"partial", 1},
                                                                    {"empty table", 1},
                                                                    {"no response", 0},
                                                                    {"cannot open", 2}}) {
    EXPECT_TRUE(summary[state].isUInt() && summary[state].asUInt() == count) << state;
  }

  // On a terminal a progress line shows meanwhile, erased before the table.
  const auto watched =
      RunHost(dir, {"--config", config, "--survey"}, pdu_host_run::Stderr::kTerminal);
  EXPECT_EQ(watched.status, 1);
  EXPECT_NE(watched.err.find("\r\033[K0/5 PDUs done"), std::string::npos) << watched.err;
  EXPECT_EQ(watched.err.substr(watched.err.size() - 4), "\r\033[K") << watched.err;
  EXPECT_NE(watched.out.find(": 1 ok, 1 partial, 1 empty table, 2 cannot open\n"),
            std::string::npos)
      << watched.out;

  const auto alone = RunHost(dir, {"--address", healthy.address(), "--survey"});
  EXPECT_EQ(alone.status, 0) << alone.out << alone.err;
  EXPECT_NE(alone.out.find(": 1 ok\n"), std::string::npos) << alone.out;
}

// Every mistake in one run, those of the file's structure included, which
// stop every other run (exit 2) after naming them all.
TEST(PduHostSiteCheck, NamesEachMistakeWithDeviceIdPathAndWhatItDoes) {
  TempDir dir;
  const std::string config = dir.Write("site.json", R"({"device": [], "devices": [
    {"id": 7, "address": "127.0.0.1:161", "appSetting": {"b_mode": "2", "use_threads": "1"}},
    {"id": 8, "address": "udp:localhost", "appSetting": {"b_mode": "two", "use_thread": "yes"}},
    {"id": 9, "address": "127.0.0.1:abc", "appSetting": {"b_mode": "4"}},
    {"id": 10, "address": " 127.0.0.1:161", "appSetting": {"b_mode": "3"},
     "thresholdSetting": {"r1": {"NMAlarmID": "12a", "ID": "1", "SignalNum": "3"},
                          "r2": "x", "r3": {"NMAlarmID": "1", "ID": [1], "SignalNumber": "2"}}},
    {"id": 11, "address": "pdu-17.invalid:161", "apSetting": {}},
    {"id": 12, "address": "127.0.0.1:0", "appSetting": {"b_mode": "2x"},
     "thresholdSetting": {"r1": {}}},
    {"id": 13, "address": "127.0.0.1:70000", "appSetting": "b_mode=2"},
    {"id": 14, "address": "", "appSetting": {"b_mdoe": "2"}},
    {"id": 7, "adress": "127.0.0.1:162"},
    {"id": "16", "address": "127.0.0.1:163", "appsetting": {"b_mode": "2"}}]})");
  const auto run = RunHost(dir, {"--config", config, "--check"});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::string at = "config file " + config + ": ";
  const std::vector<std::string> findings = {
      "device: unknown member, not read: did you mean devices?",
      "devices[0] (id 7) appSetting.use_threads: unknown member, not read: did you mean "
      "use_thread? Without use_thread, the device is polled from the host",
      "devices[1] (id 8) address: polls the same PDU (udp:localhost:161) as devices[0] (id 7)",
      "devices[1] (id 8) appSetting.b_mode: \"two\" reads as 0 (no digits), which is not a mode "
      "(1, 2 or 3): the device acts as in mode 1",
      "devices[1] (id 8) appSetting.use_thread: \"yes\" reads as 0 (no digits): the device is "
      "polled",
      "devices[2] (id 9) address: the port \"abc\" is not a number from 1 to 65535",
      "devices[2] (id 9) appSetting.b_mode: \"4\" is not a mode (1, 2 or 3)",
      "devices[3] (id 10) address: \" 127.0.0.1:161\" has white space at the start",
      "devices[3] (id 10) thresholdSetting.r1.SignalNum: unknown member, not read: did you mean "
      "SignalNumber?",
      "devices[3] (id 10) thresholdSetting.r1.NMAlarmID: \"12a\" is not a number",
      "devices[3] (id 10) thresholdSetting.r1.SignalNumber: missing",
      "devices[3] (id 10) thresholdSetting.r2: is a string, not an object: the rule is skipped",
      "devices[3] (id 10) thresholdSetting.r3.ID: is an array",
      "devices[4] (id 11) apSetting: unknown member, not read: did you mean appSetting?",
      "devices[4] (id 11) address: the name \"pdu-17.invalid\" does not resolve",
      "devices[5] (id 12) address: port 0",
      "devices[5] (id 12) appSetting.b_mode: \"2x\" reads as 2 (atoi stops at \"x\")",
      "devices[5] (id 12) thresholdSetting: holds rules, but rules are read in b_mode 3 only",
      "devices[6] (id 13) address: the port \"70000\" is not a number from 1 to 65535",
      "devices[6] (id 13) appSetting: is a string, not an object",
      "devices[7] (id 14) address: the address is empty",
      "devices[7] (id 14) appSetting.b_mdoe: unknown member, not read: did you mean b_mode? "
      "Without b_mode, the device runs in mode 1: no alarm signals",
      "devices[8] (id 7) adress: unknown member, not read: did you mean address?",
      "devices[9] appsetting: unknown member, not read: did you mean appSetting? Without "
      "appSetting, the device runs in mode 1",
  };
  const std::vector<std::string> structural = {
      "devices[8] (id 7) id: 7 is already used by devices[0]",
      "devices[8] (id 7) address: missing",
      "devices[9] id: must be an integer from 0 to 4294967295, not the string \"16\"",
  };
  for (const auto* list : {&findings, &structural}) {
    for (const std::string& finding : *list) {
      EXPECT_NE(("\n" + run.out).find("\n" + at + finding), std::string::npos) << finding << "\n"
                                                                               << run.out;
    }
  }
  // One line per finding and the count: nothing else is found.
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 28) << run.out;
  EXPECT_NE(run.out.find(at + "10 devices, 27 findings\n"), std::string::npos) << run.out;

  for (const char* mode : {"--survey", "--passes"}) {
    std::vector<std::string> args = {"--config", config, mode};
    if (mode == std::string("--passes")) args.push_back("1");
    const auto refused = RunHost(dir, args);
    EXPECT_EQ(refused.status, 2) << mode << refused.out;
    EXPECT_EQ(refused.out, "") << mode;
    for (const std::string& finding : structural) {
      EXPECT_NE(refused.err.find("pdu-host: " + at + finding), std::string::npos)
          << mode << " " << finding << "\n"
          << refused.err;
    }
    EXPECT_NE(refused.err.find("nothing was polled: the 3 mistakes above stop every run"),
              std::string::npos)
        << refused.err;
  }

  dir.Write("clean.json", R"({"devices": [{"id": 7, "address": "127.0.0.1:161",
      "appSetting": {"b_mode": 3, "use_thread": "0"},
      "thresholdSetting": {"r1": {"SignalName": "s", "NMAlarmID": "1", "ID": 2,
                                  "SignalNumber": "3"}}}]})");
  const auto clean = RunHost(dir, {"--config", "clean.json", "--check"});
  EXPECT_EQ(clean.status, 0) << clean.out;
  EXPECT_EQ(clean.out, "config file clean.json: 1 device, no findings\n");
}

// Ctrl-C while a PDU does not answer. The survey, into a file, has printed
// the PDU it judged already; it adds the one still walking as interrupted,
// and the summary. The ordinary run stops its threaded device, prints the
// run summary and writes --cache-out. Both exit 130.
TEST(PduHostSiteInterrupt, ASurveyAndARunFinishTheirOutputWithWhatTheyKnow) {
  pdu_agent::PduAgentProcess healthy(PDU_SIM_DIR, {});
  ScriptedAgent silent([](const ber::Request&, int) -> std::optional<ber::Bytes> { return {}; });
  TempDir dir;
  const auto site = [&](const char* use_thread) {
    return R"({"devices": [{"id": 1, "address": ")" + silent.address() +
           R"(", "appSetting": {"use_thread": ")" + use_thread + R"("}},
                           {"id": 2, "address": ")" +
           healthy.address() + R"("}]})";
  };
  const std::string config = dir.Write("site.json", site("0"));
  const auto survey = RunHost(dir, {"--config", config, "--survey"}, pdu_host_run::Stderr::kFile,
                              healthy.address() + "  ok");
  EXPECT_EQ(survey.status, 130) << survey.out << survey.err;
  const auto rows = SurveyRows(survey.out);
  ASSERT_TRUE(rows.count("1") == 1 && rows.count("2") == 1) << survey.out;
  EXPECT_EQ(rows.at("2")[2], "ok");
  EXPECT_EQ(rows.at("1")[2], "interrupted");
  EXPECT_NE(survey.out.find(": 1 ok, 1 interrupted\n"), std::string::npos) << survey.out;
  EXPECT_NE(survey.err.find("interrupted by SIGINT: 1 PDU not judged, marked interrupted"),
            std::string::npos)
      << survey.err;
  EXPECT_NE(survey.err.find("pdu-host: SIGINT: ending the walks under way"), std::string::npos)
      << survey.err;

  const std::string threaded = dir.Write("threaded.json", site("1"));
  const auto run = RunHost(dir, {"--config", threaded, "--passes", "2", "--cache-out", "last.bin"},
                           pdu_host_run::Stderr::kFile, " · data_id 2 ===");
  EXPECT_EQ(run.status, 130) << run.out << run.err;
  EXPECT_NE(run.out.find("=== run summary: 2 devices, interrupted by SIGINT ===\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("0 records of 2, stopped by SIGINT"), std::string::npos) << run.out;
  EXPECT_EQ(pdu_host_run::ReadFile(dir.path() + "/last.bin").size(), 135u);

  // A polled pass waiting for the silent PDU is abandoned at once.
  const auto polled = RunHost(dir, {"--config", config}, pdu_host_run::Stderr::kFile,
                              "[device 1] SNMP_VARNO_PDU::do_sample");
  EXPECT_EQ(polled.status, 130) << polled.err;
  EXPECT_LT(polled.seconds_after_signal, 2.0);
  EXPECT_NE(polled.out.find("=== run summary: 2 devices, interrupted by SIGINT ===\n"),
            std::string::npos)
      << polled.out;
  EXPECT_NE(polled.err.find("pdu-host: SIGINT: stopping the devices: a pass under way is "
                            "abandoned and nothing more is published"),
            std::string::npos)
      << polled.err;
}

// SIGTERM while the first of six silent PDUs is walked, in waves of one: the
// survey stops at once, and the five never walked are interrupted, not ok,
// and were never asked. The first is an SNMP v3 PDU: its engine discovery
// counts as its request, as a v2c PDU's first request does.
TEST(PduHostSiteInterrupt, ASurveyInWavesMarksEveryPduNotJudgedInterrupted) {
  std::vector<std::unique_ptr<ScriptedAgent>> silent;
  std::string devices;
  for (int i = 0; i < 6; ++i) {
    silent.push_back(std::make_unique<ScriptedAgent>(
        [](const ber::Request&, int) -> std::optional<ber::Bytes> { return {}; }));
    devices += std::string(i == 0 ? "" : ",") + R"({"id": )" + std::to_string(i + 1) +
               R"(, "address": ")" + silent.back()->address() + R"(", "appSetting": {)" +
               (i == 0 ? R"("snmp_version": "3", "security_name": "pdu-read")" : "") + "}}";
  }
  TempDir dir;
  const std::string config = dir.Write("site.json", R"({"devices": [)" + devices + "]}");
  // Too few descriptors for a second walk beside the first.
  std::vector<std::string> command = {"/bin/sh", "-c", "ulimit -n 40 && exec \"$@\"", "sh"};
  for (const std::string& word :
       pdu_host_run::Command(PDU_HOST_LAUNCHER, PDU_HOST_EXE, {"--config", config, "--survey"})) {
    command.push_back(word);
  }
  pdu_host_run::Interrupt interrupt;
  interrupt.when = [&] { return silent[0]->datagrams() != 0; };
  interrupt.signal = SIGTERM;
  const auto run = pdu_host_run::Run(command, dir.path(), std::chrono::seconds(60),
                                     pdu_host_run::Stderr::kFile, "", interrupt);
  EXPECT_EQ(run.status, 130) << run.out << run.err;
  EXPECT_LT(run.seconds_after_signal, 2.0);
  EXPECT_NE(run.err.find("surveying 6 PDUs in waves of 1"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find(" s: 6 interrupted\n"), std::string::npos) << run.out;
  const auto rows = SurveyRows(run.out);
  ASSERT_EQ(rows.count("1"), 1u) << run.out;
  EXPECT_EQ(rows.at("1")[5], "1") << "the engine discovery is a request";
  for (int i = 1; i < 6; ++i) EXPECT_EQ(silent[i]->datagrams(), 0u) << "PDU " << i + 1;
}

// An empty table is a PDU not ok; here the configuration is the likely
// cause, and the problem says so first.
TEST(PduHostSiteSurveyCause, AnEmptyTableFromAMisspeltCredentialNamesTheMember) {
  ScriptedAgent empty(EndOfMibView());
  TempDir dir;
  const std::string config =
      dir.Write("site.json", R"({"devices": [{"id": 3, "address": ")" + empty.address() +
                                 R"(", "appSetting": {"auth_passphrse": "long-enough-1"}}]})");
  const auto run = RunHost(dir, {"--config", config, "--survey"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const auto rows = SurveyRows(run.out);
  ASSERT_EQ(rows.count("3"), 1u) << run.out;
  EXPECT_EQ(rows.at("3")[2], "empty table");
  EXPECT_EQ(rows.at("3")[7].rfind("caused by the configuration, most likely: "
                                  "appSetting.auth_passphrse is not a member the plug-in reads "
                                  "(did you mean auth_passphrase?)",
                                  0),
            0u)
      << rows.at("3")[7];
  EXPECT_EQ(run.out.find("long-enough-1"), std::string::npos);
}

// A second signal, for a run slow to finish, quits at once, with 130.
TEST(PduHostSiteInterruptDeathTest, ASecondSignalQuitsAtOnce) {
  EXPECT_EXIT(
      {
        pdu_host::CatchInterrupts("finishing what it can");
        std::raise(SIGINT);
        std::raise(SIGTERM);
        std::_Exit(1);
      },
      ::testing::ExitedWithCode(130),
      "pdu-host: SIGINT: finishing what it can\npdu-host: SIGTERM again: quitting at once");
}

// Ctrl-C while names are still being looked up: the look-ups are left
// behind, and the survey ends at once with what it knows.
TEST(PduHostSiteInterruptDeathTest, ASurveyOnSlowNamesEndsAtOnce) {
#ifndef PDU_TESTS_UNDER_EMULATOR
  // A fresh process: no slow look-up an earlier test left behind holds the
  // look-ups' lock. Under qemu-user the test cannot execute itself again;
  // CTest runs each test in a process of its own there anyway.
  testing::GTEST_FLAG(death_test_style) = "threadsafe";
#endif
  std::vector<pdu_host::DeviceEntry> entries(2);
  entries[0].id = 1;
  entries[0].address = "60000.slow.test:161";
  entries[1].id = 2;
  entries[1].address = "60000.nowhere.test:161";
  EXPECT_EXIT(
      {
        std::thread([] {
          std::this_thread::sleep_for(std::chrono::seconds(1));
          ::kill(::getpid(), SIGINT);
        }).detach();
        const auto start = std::chrono::steady_clock::now();
        const int status = pdu_host::RunSurvey(entries, false);
        std::_Exit(std::chrono::steady_clock::now() - start < std::chrono::seconds(3) ? status
                                                                                      : 99);
      },
      ::testing::ExitedWithCode(130), "interrupted by SIGINT: 2 PDUs not judged");
}

}  // namespace
