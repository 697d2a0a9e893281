// pdu-host and PDUs that do not answer: --survey of hundreds of PDUs waits
// out their time-outs side by side (one asked with a wrong community among
// them, whose hint names no community), an ordinary run tells a dead and
// an empty PDU from a healthy one beside each record, in its summary and in
// its exit status, a dead threaded PDU among healthy ones taints none of
// them, and a name that does not resolve costs no more than a dead PDU.
// Each test waits out one 20 s time-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/pdu_agent_process.h"
#include "support/ber.h"
#include "support/pdu_host_run.h"
#include "support/scripted_agent.h"
#include "support/slow_names.h"
#include "verdict/walk_verdict.h"
#include "walk/table_walk.h"
#include "walk/walk_engine.h"

namespace {

using pdu_host_run::Cells;
using pdu_host_run::TempDir;

pdu_host_run::Result RunHost(const TempDir& dir, const std::vector<std::string>& args) {
  constexpr std::chrono::seconds kBound{100};
  auto result = pdu_host_run::Run(pdu_host_run::Command(PDU_HOST_LAUNCHER, PDU_HOST_EXE, args),
                                  dir.path(), kBound);
  EXPECT_TRUE(result.finished) << "pdu-host did not finish within " << kBound.count() << " s";
  return result;
}

std::optional<ber::Bytes> Silent(const ber::Request&, int) { return std::nullopt; }

std::optional<ber::Bytes> EndOfMibView(const ber::Request& request, int) {
  if (request.names.empty()) return std::nullopt;
  return ber::Response(request.request_id, 0, 0,
                       {ber::Binding(request.names[0], ber::Tlv(0x82, {}))});
}

std::string Device(unsigned id, const std::string& address, const std::string& app = "") {
  return R"({"id": )" + std::to_string(id) + R"(, "address": ")" + address +
         R"(", "appSetting": {"b_mode": "2")" + app + "}}";
}

// The line after the first one starting with `start`.
std::string LineAfter(const std::string& text, const std::string& start) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(start, 0) == 0) return std::getline(lines, line) ? line : "";
  }
  return "";
}

TEST(PduHostSilent, SurveysHundredsOfPdusSomeDeadInAboutOneTimeOut) {
  ScriptedAgent first(Silent);
  ScriptedAgent second(Silent);
  pdu_agent::PduAgentOptions ports;
  ports.more_ports = 199;
  pdu_agent::PduAgentProcess healthy(PDU_SIM_DIR, ports);
  // Every third one dead: its port is held and never read.
  const pdu_agent::SilentUdpPorts held(98);
  const std::vector<int>& dead = held.ports();
  std::vector<std::string> site = healthy.addresses();
  for (std::size_t k = 0; k < dead.size(); ++k) {
    site.insert(site.begin() + 3 * k + 2, "127.0.0.1:" + std::to_string(dead[k]));
  }
  std::string devices = Device(1, first.address()) + "," + Device(2, second.address());
  for (std::size_t i = 0; i < site.size(); ++i) {
    devices += "," + Device(static_cast<unsigned>(i + 3), site[i]);
  }
  // A healthy PDU that does not answer the community asked with.
  const std::string wrong_community = "0ther-c0mmunity";
  devices += "," + Device(999, healthy.address(), R"(, "community": ")" + wrong_community + "\"");
  TempDir dir;
  const std::string config = dir.Write("site.json", R"({"devices": [)" + devices + "]}");
  auto survey = std::async(std::launch::async, [&] {
    return RunHost(dir, {"--config", config, "--survey"});
  });
  // One after the other, the second would be asked only after the first's 20 s.
  EXPECT_TRUE(first.WaitForRequests(1, std::chrono::seconds(10)));
  EXPECT_TRUE(second.WaitForRequests(1, std::chrono::seconds(10)));
  const auto run = survey.get();

  EXPECT_EQ(run.status, 1) << run.out << run.err;
  std::istringstream lines(run.out);
  std::size_t silent = 0;
  std::size_t ok = 0;
  for (std::string line; std::getline(lines, line);) {
    const auto cells = Cells(line);
    if (cells.size() >= 6 && cells[2] == "ok" && cells[3] == "31/31" && cells[5] == "32") ++ok;
    if (cells.size() < 8 || cells[2] != "no response") continue;
    ++silent;
    if (cells[0] == "999") {
      EXPECT_EQ(cells[7].rfind("no answer to SNMP v2c, the configured community, ", 0), 0u);
      continue;
    }
    EXPECT_EQ(std::vector<std::string>(cells.begin() + 3, cells.begin() + 6),
              (std::vector<std::string>{"0/31", "0", "1"}));
    for (const char* words : {"SNMP v2c, community \"tundra\", within 10 s and one retry",
                              "a wrong community looks the same"}) {
      EXPECT_NE(cells[7].find(words), std::string::npos) << cells[7];
    }
  }
  EXPECT_EQ(run.out.find(wrong_community), std::string::npos);
  EXPECT_EQ(ok, 200u) << run.out;
  EXPECT_EQ(silent, 101u) << run.out;
  const std::size_t summary = run.out.find("301 PDUs in ");
  ASSERT_NE(summary, std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.find(':', summary)), ": 200 ok, 101 no response\n");
  // A time-out and its retry take 20 s; walking 32 PDUs at a time, as
  // before, took four of them.
  EXPECT_LT(std::stod(run.out.substr(summary + 12)), 50.0) << run.out;
  EXPECT_EQ(first.requests().size(), 2u) << "one request and its retry";
}

TEST(PduHostSilent, OrdinaryRunTellsADeadAndAnEmptyPduFromAHealthyOne) {
  pdu_agent::PduAgentProcess healthy(PDU_SIM_DIR, {});
  ScriptedAgent dead(Silent);
  ScriptedAgent empty(EndOfMibView);
  TempDir dir;
  const std::string config = dir.Write(
      "site.json", R"({"devices": [)" + Device(7, healthy.address(), R"(, "use_threads": "0")") +
                       "," + Device(8, dead.address()) + "," + Device(9, empty.address()) + "]}");
  const auto run = RunHost(dir, {"--config", config, "--explain"});
  EXPECT_EQ(run.status, 1) << run.err;

  EXPECT_NE(
      run.err.find("pdu-host: warning: devices[0] (id 7) appSetting.use_threads: unknown "
                   "member, not read: did you mean use_thread? Without use_thread, the device is "
                   "polled from the host\n"),
      std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("[device 8] Timeout: No Response from " + dead.address() + "\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("device 8 (devices[1]): its last pass ended without an answer"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("[device 7] SNMP_VARNO_PDU::do_sample\n"), std::string::npos) << run.out;

  // Beside each record.
  EXPECT_NE(run.out.find(" · sampled · data_id 7 ===\n"), std::string::npos) << run.out;
  EXPECT_NE(
      run.out.find(" · sampled, no answer: nothing read yet, every field 0 · data_id 8 ===\n"),
      std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("; batch check: clear (14 rules); from values the PDU never sent"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  plug-in: Timeout: No Response from " + dead.address() + "\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find(" · sampled, every field 0 · data_id 9 ===\n"), std::string::npos)
      << run.out;

  // --explain says it once, without waiting out another time-out.
  EXPECT_EQ(
      LineAfter(run.out, "=== explain device 8 ").rfind("no response: no answer to SNMP v2c", 0),
      0u)
      << run.out;
  EXPECT_EQ(dead.requests().size(), 2u) << "walked again after the plug-in's time-out";

  const std::string summary = run.out.substr(run.out.find("=== run summary: 3 devices ===\n"));
  std::istringstream lines(summary);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(Cells(line));
  ASSERT_EQ(rows.size(), 4u) << summary;
  EXPECT_EQ(rows[1], (std::vector<std::string>{"device 7", healthy.address(), "1 record",
                                               "no time-out or error"}));
  ASSERT_EQ(rows[2].size(), 5u) << summary;
  EXPECT_EQ(rows[2][3], "1 pass with a time-out or error");
  EXPECT_EQ(rows[2][4].rfind("last problem: Timeout: No Response from " + dead.address(), 0), 0u);
  ASSERT_EQ(rows[3].size(), 5u) << summary;
  EXPECT_EQ(rows[3][4].rfind("every field of the last record is 0", 0), 0u) << rows[3][4];
}

// Healthy threaded devices on two agents beside one threaded PDU that does
// not answer: every line is tied to its device, only the dead one is named,
// and that alone fails the run.
TEST(PduHostSilent, ADeadThreadedPduAmongHealthyOnesTaintsNoneOfThem) {
  pdu_agent::PduAgentOptions ports;
  ports.more_ports = 1;
  pdu_agent::PduAgentProcess healthy(PDU_SIM_DIR, ports);
  ScriptedAgent dead(Silent);
  std::string devices;
  for (unsigned id = 1; id <= 4; ++id) {
    devices += Device(id, healthy.addresses()[id % 2], R"(, "use_thread": "1")") + ",";
  }
  devices += Device(5, dead.address(), R"(, "use_thread": "1")");
  TempDir dir;
  const std::string config = dir.Write("site.json", R"({"devices": [)" + devices + "]}");
  const auto run = RunHost(dir, {"--config", config, "--seconds", "40"});
  EXPECT_EQ(run.status, 1) << run.err;
  std::istringstream lines(run.out + run.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("[", 0) != 0) continue;
    EXPECT_EQ(line.rfind("[device ", 0), 0u) << line;
    EXPECT_EQ(line.find(" or "), std::string::npos) << line;
  }
  EXPECT_NE(run.err.find("[device 5] Timeout: No Response from " + dead.address() + "\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("pdu-host: device 5 (devices[4]): its last pass ended without an answer"),
            std::string::npos)
      << run.err;
  const std::string summary = run.out.substr(run.out.find("=== run summary: 5 devices ===\n"));
  std::istringstream rows(summary);
  std::size_t clean = 0;
  for (std::string row; std::getline(rows, row);) {
    const auto cells = Cells(row);
    if (cells.size() < 4 || cells[0].rfind("device ", 0) != 0) continue;
    EXPECT_EQ(cells[3] == "no time-out or error", cells[0] != "device 5") << summary;
    clean += cells[3] == "no time-out or error";
  }
  EXPECT_EQ(clean, 4u) << summary;
  EXPECT_EQ(run.err.find("could not be tied"), std::string::npos) << run.err;
}

// A name the resolver does not answer for: the walk ends as cannot open
// when a dead PDU's time-out and retry would have ended, not after the
// resolver's own time-outs.
TEST(PduHostSilent, ANameThatNeverResolvesEndsWithinTheSurveysPromise) {
  std::vector<pdu_host::DeviceEntry> entries(1);
  entries[0].address = "90000.nowhere.test:161";
  std::optional<pdu_host::TableWalk> ended;
  pdu_host::WalkEvents events;
  events.ended = [&](std::size_t, pdu_host::TableWalk&& walk, double) { ended = std::move(walk); };
  const auto start = std::chrono::steady_clock::now();
  pdu_host::WalkTables({&entries[0]}, 1, events);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::seconds(19));
  EXPECT_LT(took, std::chrono::seconds(25));
  ASSERT_TRUE(ended);
  const pdu_host::WalkVerdict verdict = pdu_host::JudgeWalk(*ended);
  EXPECT_EQ(verdict.state, pdu_host::SurveyState::kCannotOpen);
  EXPECT_EQ(verdict.problem.rfind("looking the name up took longer than 20 s", 0), 0u)
      << verdict.problem;
  slow_names::ReleaseSlowNames();  // the look-up left behind ends now
}

}  // namespace
