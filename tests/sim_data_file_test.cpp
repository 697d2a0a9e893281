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

TEST(SimulatorDataFile, NamesEveryLineItCannotServeAndServesTheRest) {
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

TEST(SimulatorDataFile, RefusesAFileWithNothingToServe) {
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

}  // namespace
