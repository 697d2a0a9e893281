// pdu-host --explain and --record against real snmpd tables: the verdict for
// every record field, a capture the simulator replays as the same walk and
// the same record, a .snmprec capture that snmpsim and the simulator both
// serve so, and a walk that stops early.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/pdu_agent_process.h"
#include "support/ber.h"
#include "support/pdu_host_run.h"
#include "support/scripted_agent.h"

namespace {

using pdu_host_run::TempDir;

constexpr std::chrono::seconds kRunBound{60};
const std::string kTableOid = "1.3.6.1.4.1.44782.4.14.1.1";

// A table as a firmware may serve it: column 3 as Gauge32, 4 as text, 5
// missing, 6 in two rows, a float in 21, an extra column 99, and columns
// without a field in every type the simulator serves.
std::string FirmwareTable() {
  std::string text;
  for (unsigned column = 2; column <= 30; ++column) {
    if (column == 3 || column == 4 || column == 5 || column == 21) continue;
    text += std::to_string(column) + ".1 integer " + std::to_string(100 + column) + "\n";
  }
  return text + R"(3.1 gauge 2298
4.1 string 230.6 V
6.2 integer 66
21.1 float 49.98
341.1 integer 1
342.1 integer -5
99.1 integer 7
40.1 timeticks 12345
41.1 counter64 18446744073709551615
42.1 ipaddress 10.1.2.3
43.1 objectid 1.3.6.1.4.1.99
44.1 octet 00 ff 41
45.1 opaque 01 02
46.1 opaque 9f 79 08 40 09 21 fb 54 44 2d 18
47.1 opaque 9f 78 04 7f c0 00 01
48.1 counter 5
)";
}

pdu_host_run::Result RunHost(const TempDir& dir, const std::vector<std::string>& args) {
  auto result = pdu_host_run::Run(pdu_host_run::Command(PDU_HOST_LAUNCHER, PDU_HOST_EXE, args),
                                  dir.path(), kRunBound);
  EXPECT_TRUE(result.finished) << "pdu-host did not finish within " << kRunBound.count() << " s";
  return result;
}

std::string BulkWalk(const TempDir& dir, const std::string& address) {
  const auto run = pdu_host_run::Run(
      {SNMPBULKWALK_EXE, "-v2c", "-c", "tundra", "-Cn1", "-Cr100", address, kTableOid}, dir.path(),
      kRunBound);
  EXPECT_EQ(run.status, 0) << run.err;
  return run.out;
}

// The cells of an --explain line: separated by two spaces or more.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t at = 0;
  while (at < line.size()) {
    std::size_t gap = line.find("  ", at);
    if (gap == std::string::npos) gap = line.size();
    cells.push_back(line.substr(at, gap - at));
    at = line.find_first_not_of(' ', gap);
    if (at == std::string::npos) break;
  }
  return cells;
}

std::map<std::string, std::vector<std::string>> ExplainRows(const std::string& out) {
  std::map<std::string, std::vector<std::string>> rows;
  std::istringstream lines(out.substr(out.find("=== explain device 1")));
  for (std::string line; std::getline(lines, line);) {
    const auto cells = Cells(line);
    // An object that no field keeps: its row is keyed by the object.
    if (!cells.empty()) rows[cells[0] == "-" && cells.size() > 1 ? cells[1] : cells[0]] = cells;
  }
  return rows;
}

class PduHostExplain : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    table_dir_ = new TempDir;
    pdu_agent::PduAgentOptions options;
    options.data_file = table_dir_->Write("table.txt", FirmwareTable());
    agent_ = new pdu_agent::PduAgentProcess(PDU_SIM_DIR, options);
  }
  static void TearDownTestSuite() {
    delete agent_;
    delete table_dir_;
  }
  static const std::string& address() { return agent_->address(); }

  TempDir dir_;

 private:
  static pdu_agent::PduAgentProcess* agent_;
  static TempDir* table_dir_;
};

pdu_agent::PduAgentProcess* PduHostExplain::agent_ = nullptr;
TempDir* PduHostExplain::table_dir_ = nullptr;

TEST_F(PduHostExplain, NamesTheVerdictForEveryField) {
  const auto run = RunHost(dir_, {"--address", address(), "--explain"});
  // Fields the plug-in does not store fail the run, as they do --survey's.
  ASSERT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("pdu-host: device 1: partial: col3 served as Gauge32, a type the "
                         "plug-in does not store (3 fields in all"),
            std::string::npos)
      << run.err;
  // The last line says where the explanation went.
  EXPECT_EQ(run.err.substr(run.err.rfind("pdu-host: ")),
            "pdu-host: explained one device's table field by field, with the objects no field "
            "keeps and how each walk ended, in " +
                dir_.path() + "/host.stdout\n")
      << run.err;
  const auto rows = ExplainRows(run.out);

  // field -> object(s), type, value, record, verdict
  std::map<std::string, std::vector<std::string>> expected = {
      {"col3", {"3.1", "Gauge32", "2298", "0", "ignored (Gauge32)"}},
      {"col4", {"4.1", "STRING", "\"230.6 V\"", "0", "ignored (STRING)"}},
      {"col5", {"-", "-", "-", "0", "not served"}},
      {"col6", {"6.1, 6.2", "INTEGER", "106, 66", "66", "stored, the record holds 6.2"}},
      {"col21", {"21.1", "Opaque: Float", "49.980000", "49.98", "stored"}},
      {"col341", {"341.1", "INTEGER", "1", "1", "stored"}},
      {"col342", {"342.1", "INTEGER", "-5", "-5", "stored"}},
  };
  for (unsigned column = 2; column <= 30; ++column) {
    const std::string field = "col" + std::to_string(column);
    const std::string value = std::to_string(100 + column);
    expected.emplace(field, std::vector<std::string>{std::to_string(column) + ".1", "INTEGER",
                                                     value, value, "stored"});
  }
  ASSERT_EQ(expected.size(), 31u);
  for (const auto& [field, cells] : expected) {
    ASSERT_EQ(rows.count(field), 1u) << field << " has no line:\n" << run.out;
    std::vector<std::string> want = {field};
    want.insert(want.end(), cells.begin(), cells.end());
    EXPECT_EQ(rows.at(field), want) << field;
  }
  // Under the same heading: object, type, value, no record.
  EXPECT_EQ(rows.at("99.1"),
            (std::vector<std::string>{"-", "99.1", "INTEGER", "7", "-", "no field"}));
  EXPECT_EQ(rows.at("46.1")[2], "Opaque: Double") << "net-snmp calls it Opaque: Float";
  // 41 objects, then endOfMibView after the last: as many requests as the plug-in sends.
  EXPECT_NE(run.out.find("walk: ended by endOfMibView for " + kTableOid + ".342.1; 42 requests\n"),
            std::string::npos)
      << run.out;
}

TEST_F(PduHostExplain, CaptureReplaysAsTheSameWalkAndTheSameRecord) {
  auto run = RunHost(
      dir_, {"--address", address(), "--record", "capture.txt", "--cache-out", "original.bin"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string capture = pdu_host_run::ReadFile(dir_.path() + "/capture.txt");

  pdu_agent::PduAgentOptions options;
  options.data_file = dir_.path() + "/capture.txt";
  pdu_agent::PduAgentProcess replay(PDU_SIM_DIR, options);

  const std::string walk = BulkWalk(dir_, address());
  EXPECT_GE(std::count(walk.begin(), walk.end(), '\n'), 40) << walk;
  EXPECT_EQ(BulkWalk(dir_, replay.address()), walk);

  run = RunHost(dir_, {"--address", replay.address(), "--record", "again.txt", "--cache-out",
                       "replayed.bin"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::size_t stamp = 128;  // all but the time stamp
  EXPECT_EQ(pdu_host_run::ReadFile(dir_.path() + "/replayed.bin").substr(0, stamp),
            pdu_host_run::ReadFile(dir_.path() + "/original.bin").substr(0, stamp));
  // Lossless: the replay captures back to the same lines (the first names the address).
  const std::string again = pdu_host_run::ReadFile(dir_.path() + "/again.txt");
  EXPECT_EQ(again.substr(again.find('\n')), capture.substr(capture.find('\n')));
}

TEST_F(PduHostExplain, SnmprecCaptureServedBySnmpsimGivesTheSameWalkAndRecord) {
  auto run = RunHost(
      dir_, {"--address", address(), "--record", "capture.snmprec", "--cache-out", "original.bin"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("pdu-host: wrote capture.snmprec: the "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("'s table (" + address() +
                         "), in snmpsim's .snmprec format; sim/pdu_agent.py --data "
                         "capture.snmprec serves it\n"),
            std::string::npos)
      << run.err;
  const std::string capture = pdu_host_run::ReadFile(dir_.path() + "/capture.snmprec");
  EXPECT_EQ(capture.rfind("# PDU table of " + address() + " as pdu-host walked it on ", 0), 0u)
      << capture;
  const std::string row = "\n" + kTableOid + ".";
  for (const char* line : {"4.1|4|230.6 V\n", "44.1|4x|00ff41\n", "42.1|64x|0a010203\n",
                           "21.1|68x|9f78044247eb85\n", "47.1|68x|9f78047fc00001\n"}) {
    EXPECT_NE(capture.find(row + line), std::string::npos) << line << " in\n" << capture;
  }

  pdu_agent::PduAgentOptions options;
  options.data_file = dir_.path() + "/capture.snmprec";
  pdu_agent::PduAgentProcess simulator(PDU_SIM_DIR, options);  // reads .snmprec too
  options.snmpsim = true;
  pdu_agent::PduAgentProcess snmpsim(PDU_SIM_DIR, options);  // snmpsimd itself
  const std::string walk = BulkWalk(dir_, address());
  EXPECT_GE(std::count(walk.begin(), walk.end(), '\n'), 40) << walk;
  EXPECT_EQ(BulkWalk(dir_, snmpsim.address()), walk);
  EXPECT_EQ(BulkWalk(dir_, simulator.address()), walk);

  run = RunHost(dir_, {"--address", snmpsim.address(), "--record", "again.snmprec", "--cache-out",
                       "replayed.bin"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::size_t stamp = 128;  // all but the time stamp
  EXPECT_EQ(pdu_host_run::ReadFile(dir_.path() + "/replayed.bin").substr(0, stamp),
            pdu_host_run::ReadFile(dir_.path() + "/original.bin").substr(0, stamp));
  const std::string again = pdu_host_run::ReadFile(dir_.path() + "/again.snmprec");
  EXPECT_EQ(again.substr(again.find('\n')), capture.substr(capture.find('\n')));
}

TEST(PduHostExplainStop, AWalkThatStopsEarlyExitsOneAndKeepsTheRecordFile) {
  ScriptedAgent agent([](const ber::Request& request, int) {
    return ber::Response(request.request_id, 5, 1, {});  // genErr, every time
  });
  TempDir dir;
  dir.Write("capture.txt", "kept\n");
  const auto run =
      RunHost(dir, {"--address", agent.address(), "--explain", "--record", "capture.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("device 1: table walk stopped: the agent answered with error status 5"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("capture.txt not written"), std::string::npos) << run.err;
  EXPECT_EQ(pdu_host_run::ReadFile(dir.path() + "/capture.txt"), "kept\n");
  EXPECT_EQ(ExplainRows(run.out)["col2"],
            (std::vector<std::string>{"col2", "-", "-", "-", "0", "not served"}));
  EXPECT_NE(run.out.find("; 1 request\n"), std::string::npos) << run.out;
  // The plug-in's line names no status; the summary does.
  EXPECT_NE(run.out.find("last problem: SNMP_VARNO_PDU: device 1 (" + agent.address() +
                         ") walk ended: response with an error status: walked again after the run, "
                         "the agent answered with error status 5 (genError)\n"),
            std::string::npos)
      << run.out;
}

}  // namespace
