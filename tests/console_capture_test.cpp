// pdu-host's capture of the plug-in's console: the devices a line may come
// from, and the line the plug-in writes right before it ends the process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "console/console_capture.h"
#include "console/line_attribution.h"

namespace {

using namespace std::chrono_literals;
using pdu_host::LineAttribution;
using Ids = std::vector<unsigned int>;

TEST(LineAttribution, TiesALineToTheOnlyDeviceThatMayWriteItAndNamesTheCandidatesOtherwise) {
  // 1 and 2 threaded, 3 polled, 4 threaded without an address.
  LineAttribution lines({{1, "10.0.0.1:161", true},
                         {2, "10.0.0.2:161", true},
                         {3, "10.0.0.3:161", false},
                         {4, "", true}});
  const std::string error = "snmp get error 1";
  const auto t0 = LineAttribution::Clock::now();
  EXPECT_EQ(lines.Candidates(error, t0), (Ids{1, 2, 3})) << "nobody writing: never dropped";
  lines.SetCalling(3);
  EXPECT_EQ(lines.Candidates(error, t0), (Ids{3}));
  for (const unsigned int threaded : {1u, 2u, 4u}) lines.SetCalling(threaded);  // their Init
  lines.SetCalling(std::nullopt);
  EXPECT_EQ(lines.Candidates(error, t0), (Ids{1, 2})) << "4 opens no session to fail on";
  EXPECT_EQ(lines.Candidates("SNMP_VARNO_PDU::do_sample", t0), (Ids{1, 2, 4}));
  EXPECT_EQ(lines.Candidates("Timeout: No Response from 10.0.0.2:161", t0), (Ids{2}));

  lines.PassEnded(1, t0);  // 1 pauses before its next pass
  EXPECT_EQ(lines.Candidates(error, t0 + 4s), (Ids{2}));
  EXPECT_EQ(lines.Candidates(error, t0 + 5s), (Ids{1, 2}));
  lines.SetCalling(3);
  EXPECT_EQ(lines.Candidates(error, t0 + 1s), (Ids{2, 3}));
  lines.Stopped(2);
  EXPECT_EQ(lines.Candidates(error, t0 + 1s), (Ids{3}));
}

// A device deleted from inside its own pass makes the plug-in write one line
// and abort. A line the capture has taken from the pipe but not yet passed on
// still reaches the console.
TEST(ConsoleCaptureDeathTest, ALineTakenBeforeAnAbortReachesTheConsole) {
  EXPECT_DEATH(
      {
        std::atomic<bool> taken{false};
        pdu_host::ConsoleCapture capture({{7, "192.0.2.7:161", false}},
                                         [&](const Ids&, const std::string&) {
                                           taken = true;
                                           std::this_thread::sleep_for(300ms);
                                         });
        std::fputs("SNMP_VARNO_PDU: device 7 (192.0.2.7:161) deleted from inside\n", stderr);
        for (int waited = 0; !taken && waited < 10'000; ++waited) std::this_thread::sleep_for(1ms);
        std::abort();
      },
      "\\[device 7\\] SNMP_VARNO_PDU: device 7 \\(192.0.2.7:161\\) deleted from inside");
}

}  // namespace
