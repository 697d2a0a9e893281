// The simulated PDU reading its data file, in either format: every line it
// cannot serve named with its number and the reason, and a file with nothing
// to serve refused.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/pdu_host_run.h"

namespace {

using pdu_host_run::TempDir;

// Runs the agent on `data` with standard input a pipe already at its end:
// it reads the file, starts snmpd (or refuses) and stops again.
pdu_host_run::Result RunAgent(const TempDir& dir, const std::string& data,
                              const std::string& flags = "") {
  const auto run =
      pdu_host_run::Run({"/bin/sh", "-c", "true | exec python3 \"$0\" --data \"$1\" $2",
                         PDU_SIM_DIR "/pdu_agent.py", data, flags},
                        dir.path(), std::chrono::seconds(60));
  EXPECT_TRUE(run.finished) << "the agent did not stop at the end of its input";
  return run;
}

// Each of `lines` begins a line of `err`.
void ExpectNamed(const std::string& err, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    EXPECT_NE(err.find("pdu_agent: " + line), std::string::npos) << line << " in\n" << err;
  }
}

TEST(SimDataFile, NamesEveryLineItCannotServeAndServesTheRest) {
  TempDir dir;
  auto run = RunAgent(dir, dir.Write("table.txt", R"(2.1 integer 2301
3.1 integr 5
22x98 integer 1
4.1 integer 22x98
1.3.6.1.4.1.44782.4.14.1.1.5.1|2|7
)"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("127.0.0.1:", 0), 0u) << run.out;
  ExpectNamed(run.err, {"table.txt line 2: unknown type 'integr' (types: integer, ",
                        "table.txt line 3: '22x98' is not an OID suffix like 2.1",
                        "table.txt line 4: integer value '22x98': not an integer",
                        "table.txt line 5: expected '<column>.<row> <type> <value>' (a .snmprec "
                        "line? name the file *.snmprec)"});
  EXPECT_EQ(run.err.find("line 1:"), std::string::npos) << run.err;

  run = RunAgent(dir, dir.Write("site.snmprec", R"(# taken on a desk
1.3.6.1.2.1.1.5.0|4|pdu-a12
1.3.6.1.4.1.44782.4.14.1.1.2.1|2|2301
1.3.6.1.4.1.44782.4.14.1.1.3.1|72x|4247eb85
1.3.6.1.4.1.44782.4.14.1.1.4.1|4x|0g
1.3.6.1.4.1.44782.4.14.1.1.5.1|2:numeric|1
1.3.6.1.4.1.44782.4.14.1.1.6.1|5|
)"));
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectNamed(run.err, {"site.snmprec line 4: unknown tag '72'",
                        "site.snmprec line 5: tag 4x: '0g' is not hex bytes",
                        "site.snmprec line 6: variation module 'numeric'",
                        "site.snmprec line 7: tag 5 (NULL): snmpd's pass_persist cannot serve it",
                        "site.snmprec: 1 object(s) outside the PDU table"});
}

// Numbers beyond Python's 4300-digit conversion limit, a float that reads as
// infinity, and string bytes that str.splitlines() takes for line ends.
TEST(SimDataFile, HostileLinesAreNamedAndSkippedAndValuesKeepTheirBytes) {
  TempDir dir;
  const std::string huge(5000, '7');
  auto run =
      RunAgent(dir, dir.Write("table.txt", "2.1 integer 2301\n3.1 float 1e999\n4.1 integer " +
                                               huge + "\n5." + huge + " integer 5\n"));
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string quoted = "'" + huge.substr(0, 40) + "'...";
  ExpectNamed(run.err,
              {"table.txt line 2: float value '1e999': out of range for a single-precision float",
               "table.txt line 3: integer value " + quoted + ": out of range for a 32-bit integer",
               "table.txt line 4: '5." + huge.substr(0, 38) + "'... is not an OID suffix"});

  const std::string root = "1.3.6.1.4.1.44782.4.14.1.1.";
  const std::string snmprec =
      dir.Write("site.snmprec", root + "2.1|2|2301\n" + root + "3.1|4|Rack A\x85\x0c B\r\n" + root +
                                    "4.1|2|" + huge + "\n" + root + "5.1|2|5\n");
  run = RunAgent(dir, snmprec);
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectNamed(run.err, {"site.snmprec line 3: tag 2 value " + quoted + ": out of range"});
  EXPECT_EQ(run.err.find("line 2:"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("line 4:"), std::string::npos) << run.err;

  // The backend serves the string whole, on a request after the hostile line.
  run = pdu_host_run::Run(
      {"/bin/sh", "-c", "printf 'get\\n.%s\\n' \"$2\" | exec python3 \"$0\" \"$1\"",
       PDU_SIM_DIR "/pdu_backend.py", snmprec, root + "3.1"},
      dir.path(), std::chrono::seconds(60));
  EXPECT_EQ(run.out, "." + root + "3.1\noctet\n52 61 63 6b 20 41 85 0c 20 42\n") << run.err;
}

TEST(SimDataFile, RefusesAFileWithNothingToServe) {
  TempDir dir;
  const std::string data = dir.Write("table.txt", "# nothing yet\n2.1 integr 5\n");
  auto run = RunAgent(dir, data);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("pdu_agent: refusing " + data +
                         ": no object of the PDU table in it (1 line not understood, named "
                         "above)."),
            std::string::npos)
      << run.err;

  run = RunAgent(dir, data, "--allow-empty");  // an agent serving an empty table, on purpose
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("127.0.0.1:", 0), 0u) << run.out;
}

// The community comes from a file or the environment; one on the command
// line, where ps shows it, is refused.
TEST(SimDataFileCommunity, IsReadFromAFileAndRefusedOnTheCommandLine) {
  TempDir dir;
  const std::string data = dir.Write("table.txt", "2.1 integer 2301\n");
  auto run = RunAgent(dir, data, "--community s3cret");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("pdu_agent: the community is not taken on the command line"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("s3cret"), std::string::npos) << run.err;

  run = RunAgent(dir, data, "--community-file " + dir.Write("community", "with space\n"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("pdu_agent: the community needs 1 to 64 printable characters"),
            std::string::npos)
      << run.err;
}

}  // namespace
