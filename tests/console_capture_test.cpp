// pdu-host's capture of the plug-in's console: each line tied to the device
// whose thread wrote it (threads inherit their creator's device), by the
// number or address it names otherwise, and the line the plug-in writes
// right before it ends the process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/console_capture.h"
#include "console/line_attribution.h"
#include "console/thread_device.h"

namespace {

using pdu_host::DeviceCall;
using pdu_host::LineAttribution;
using Ids = std::vector<unsigned int>;

TEST(ConsoleCaptureLineAttribution, TiesByNamedDeviceThenWriterThenWholeAddress) {
  // 1 and 2: an address that is a prefix of another; 3 and 4 share one.
  const LineAttribution lines(
      {{1, "127.0.0.1:161"}, {2, "127.0.0.1:1616"}, {3, "10.0.0.3:161"}, {4, "10.0.0.3:161"}});
  EXPECT_EQ(lines.Devices("Timeout: No Response from 127.0.0.1:1616", std::nullopt), (Ids{2}));
  EXPECT_EQ(lines.Devices("Timeout: No Response from 127.0.0.1:161", std::nullopt), (Ids{1}));
  EXPECT_EQ(lines.Devices("Timeout: No Response from 10.0.0.3:161", std::nullopt), (Ids{3, 4}));
  EXPECT_EQ(lines.Devices("Timeout: No Response from 10.0.0.3:161", 4u), (Ids{4}));
  EXPECT_EQ(lines.Devices("snmp get error 1", 3u), (Ids{3}));
  EXPECT_EQ(lines.Devices("snmp get error 1", std::nullopt), (Ids{}));
  EXPECT_EQ(lines.Devices("SNMP_VARNO_PDU: device 2 (127.0.0.1:1616) refused by the PDU: x", 1u),
            (Ids{2}));
  EXPECT_EQ(lines.Devices("InitSetting 3 b_mode_:2", std::nullopt), (Ids{3}));

  EXPECT_EQ(pdu_host::Alternatives({7, 8}), "7 or 8");
  EXPECT_EQ(pdu_host::Alternatives({1, 2, 3, 4}), "1, 2, 3 or 4");
  EXPECT_EQ(pdu_host::Alternatives(Ids(2000, 9)), "9, 9, 9 or 1997 others");
}

TEST(ConsoleCaptureThreadDevice, AThreadWorksForTheDeviceItsCreatorWorkedFor) {
  std::optional<unsigned int> sampling;
  std::optional<unsigned int> helper;
  std::optional<unsigned int> outside;
  std::thread started;
  {
    const DeviceCall call(7);
    started = std::thread([&] {
      sampling = pdu_host::ThreadDevice();
      std::thread([&] { helper = pdu_host::ThreadDevice(); }).join();
    });
  }
  started.join();
  std::thread([&] { outside = pdu_host::ThreadDevice(); }).join();
  EXPECT_EQ(sampling, 7u);
  EXPECT_EQ(helper, 7u);
  EXPECT_EQ(outside, std::nullopt);
  EXPECT_EQ(pdu_host::ThreadDevice(), std::nullopt);
}

// Two devices' threads writing at once through every stream the plug-in
// uses: each line is its writer's, whole.
TEST(ConsoleCapture, EachLineIsTheWritingThreadsDevice) {
  std::mutex mutex;
  std::map<std::string, Ids> seen;
  {
    pdu_host::ConsoleCapture capture({{7, "192.0.2.7:161"}, {8, "192.0.2.8:161"}},
                                     [&](const Ids& devices, const std::string& line) {
                                       std::lock_guard<std::mutex> lock(mutex);
                                       seen[line] = devices;
                                     });
    std::vector<std::thread> threads;
    for (const unsigned int id : {7u, 8u}) {
      const DeviceCall call(id);
      threads.emplace_back([id] {
        for (int i = 0; i < 200; ++i) {
          const std::string n = std::to_string(id) + "." + std::to_string(i);
          std::cout << "cout " << n << std::endl;
          std::printf("printf %s\n", n.c_str());
          std::fprintf(stderr, "stderr %s\n", n.c_str());
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  ASSERT_EQ(seen.size(), 1200u);
  for (const auto& [line, devices] : seen) {
    EXPECT_EQ(devices, Ids{line[line.find(' ') + 1] == '7' ? 7u : 8u}) << line;
  }
}

// A device deleted from inside its own pass makes the plug-in write one line
// and end the process: the line reaches the console, marked.
TEST(ConsoleCaptureDeathTest, TheLastLineBeforeAnAbortReachesTheConsole) {
  EXPECT_DEATH(
      {
        pdu_host::ConsoleCapture capture({{7, "192.0.2.7:161"}}, nullptr);
        const DeviceCall call(7);
        std::thread([] {
          std::cerr << "SNMP_VARNO_PDU: device 7 (192.0.2.7:161) deleted from inside\n";
          std::abort();
        }).join();
      },
      "\\[device 7\\] SNMP_VARNO_PDU: device 7 \\(192.0.2.7:161\\) deleted from inside");
}

}  // namespace
