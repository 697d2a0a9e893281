// The walk against net-snmp's own agent serving a PDU table from a file that
// the tests rewrite between passes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "qtx/ttime.h"
#include "sim/pdu_agent_process.h"
#include "support/plugin_host.h"

namespace {

using pdu_agent::CountRequestLogLines;
using pdu_agent::PduAgentOptions;
using pdu_agent::PduAgentProcess;
using pdu_agent::WriteFileAtomically;

const unsigned kColumns[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,  16, 17,
                             18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 341, 342};

// A table whose column N in `row` holds the INTEGER N * 10 + row.
std::string IntegerTable(unsigned row = 1) {
  std::ostringstream table;
  for (unsigned column : kColumns) {
    table << column << '.' << row << " integer " << column * 10 + row << '\n';
  }
  return table.str();
}

class BulkWalkAgent : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pdu-walk-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    data_ = dir_ + "/table.txt";
    log_ = dir_ + "/requests.log";
  }
  void TearDown() override {
    agent_.reset();
    std::filesystem::remove_all(dir_);
  }

  void StartAgent(const std::string& table, bool no_view_limit = false) {
    WriteFileAtomically(data_, table);
    PduAgentOptions options;
    options.data_file = data_;
    options.request_log = log_;
    options.no_view_limit = no_view_limit;
    agent_ = std::make_unique<PduAgentProcess>(PDU_SIM_DIR, options);
  }

  // Runs one polled pass; returns the record it published.
  SNMP_VARNO_PDU_Data_t Pass(QTXSocketDevice& device) {
    const std::size_t before = plugin_host::Published(device).size();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    device.RefreshStatus();
    testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    const auto published = plugin_host::Published(device);
    EXPECT_EQ(published.size(), before + 1);
    return published.back();
  }

  std::size_t Requests() const { return CountRequestLogLines(log_, "getnext"); }

  std::string dir_, data_, log_, err_;
  std::unique_ptr<PduAgentProcess> agent_;
};

TEST_F(BulkWalkAgent, OneRowStoresAll31ColumnsIn32Requests) {
  StartAgent(IntegerTable());
  auto device = plugin_host::ConfiguredDevice(17, {agent_->address()});
  const SNMP_VARNO_PDU_Data_t record = Pass(*device);
  EXPECT_EQ(Requests(), 32u);
  // The last request asks for the successor of column 342's object.
  std::ifstream log(log_);
  std::string line, last;
  while (std::getline(log, line)) last = line;
  EXPECT_EQ(last, "getnext .1.3.6.1.4.1.44782.4.14.1.1.342.1");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(record.data_id, 17u);
  for (unsigned column : kColumns) {
    EXPECT_EQ(pdu::ReadColumn(record, pdu::ColumnOffset(column)), column * 10 + 1.0f) << column;
  }
}

TEST_F(BulkWalkAgent, WithoutTheViewLimitTheWalkEndsOnTheFirstObjectOutside) {
  StartAgent(IntegerTable(), /*no_view_limit=*/true);
  auto device = plugin_host::ConfiguredDevice(1, {agent_->address()});
  const SNMP_VARNO_PDU_Data_t record = Pass(*device);
  EXPECT_EQ(Requests(), 32u);
  EXPECT_EQ(record.col342, 3421.0f);
  EXPECT_EQ(err_, "");
}

TEST_F(BulkWalkAgent, WithSeveralRowsTheLastRowWins) {
  StartAgent(IntegerTable(1) + IntegerTable(2));
  auto device = plugin_host::ConfiguredDevice(1, {agent_->address()});
  const SNMP_VARNO_PDU_Data_t record = Pass(*device);
  EXPECT_EQ(Requests(), 63u);
  for (unsigned column : kColumns) {
    EXPECT_EQ(pdu::ReadColumn(record, pdu::ColumnOffset(column)), column * 10 + 2.0f) << column;
  }
}

TEST_F(BulkWalkAgent, OnlyIntegersAndFloatsChangeFieldsAcrossPasses) {
  StartAgent(IntegerTable());
  auto device = plugin_host::ConfiguredDevice(1, {agent_->address()});
  Pass(*device);

  WriteFileAtomically(data_,
                      "2.1 gauge 7\n"
                      "3.1 counter 7\n"
                      "4.1 string 7\n"
                      "5.1 octet 37\n"
                      "6.1 timeticks 7\n"
                      "12.1 gauge 0\n"
                      "21.1 float 49.98\n"
                      "342.1 float -1.5\n"
                      "341.1 integer -1\n");
  const SNMP_VARNO_PDU_Data_t record = Pass(*device);
  EXPECT_EQ(record.col2, 21.0f);
  EXPECT_EQ(record.col3, 31.0f);
  EXPECT_EQ(record.col4, 41.0f);
  EXPECT_EQ(record.col5, 51.0f);
  EXPECT_EQ(record.col6, 61.0f);
  EXPECT_EQ(record.col12, 121.0f);
  EXPECT_EQ(record.col21, 49.98f);
  EXPECT_EQ(record.col342, -1.5f);
  EXPECT_EQ(record.col341, -1.0f);
  EXPECT_EQ(record.col30, 301.0f);  // not in the table any more: kept
}

TEST_F(BulkWalkAgent, PublishedAndSavedBytesAreTheSameStampedRecord) {
  StartAgent(IntegerTable());
  auto device = plugin_host::ConfiguredDevice(99, {agent_->address()});
  Pass(*device);
  const auto calls = qtxhost::RecordedCalls(*device);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].kind, qtxhost::HostCall::Kind::kSendSP);
  EXPECT_EQ(calls[0].record_type, 5156);
  EXPECT_EQ(calls[3].kind, qtxhost::HostCall::Kind::kSaveDeviceHistory);
  EXPECT_EQ(calls[0].bytes, calls[3].bytes);
  const ttime_t now = get_ttime(boost::posix_time::second_clock::local_time());
  // The stamp is this pass's (year, month and day at least).
  EXPECT_EQ(0, std::memcmp(calls[0].bytes.data() + 128, now.data(), 4));
}

}  // namespace
