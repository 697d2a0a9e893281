// The walk against answers a real agent never sends, from a scripted
// responder: every one must end or continue as intended and never hang.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "support/hostile_pass.h"
#include "support/plugin_host.h"

namespace {

using ber::Bytes;
using ber::Oid;
using hostile::Answer;
using hostile::EndOfView;
using hostile::kRoot;
using hostile::Object;
using hostile::Pass;
using hostile::RunPass;
using qtxhost::HostCall;

TEST(BulkWalkHostileAgent, RequestsAreOneObjectGetBulkFromTheCursor) {
  const Pass pass = RunPass([](const ber::Request& r, int n) -> std::optional<Bytes> {
    if (n == 0) return Answer(r, {ber::Binding(Object(2), ber::Integer(-1))});
    return EndOfView(r);
  });
  ASSERT_EQ(pass.requests.size(), 2u);
  for (const auto& request : pass.requests) {
    EXPECT_EQ(request.pdu_type, 0xA5);
    EXPECT_EQ(request.community, "tundra");
    EXPECT_EQ(request.non_repeaters, 1);
    EXPECT_EQ(request.max_repetitions, 100);
    ASSERT_EQ(request.names.size(), 1u);
  }
  EXPECT_EQ(pass.requests[0].names[0], kRoot);
  EXPECT_EQ(pass.requests[1].names[0], Object(2));
  ASSERT_EQ(pass.published.size(), 1u);
  EXPECT_EQ(pass.published[0].col2, -1.0f);
  EXPECT_EQ(pass.published[0].data_id, 5u);
  EXPECT_EQ(pass.out, "SNMP_VARNO_PDU::do_sample\nrvSize is 0\n");
  EXPECT_EQ(pass.err, "");
}

TEST(BulkWalkHostileAgent, SeveralBindingsAreStoredInOrderAndAnOutsiderEndsTheWalkAfterThem) {
  const Pass pass = RunPass([](const ber::Request& r, int n) -> std::optional<Bytes> {
    if (n > 0) return EndOfView(r);
    return Answer(
        r, {ber::Binding(Object(2), ber::Integer(5)), ber::Binding(Object(3), ber::Integer(6)),
            ber::Binding({1, 3, 6, 1, 4, 1, 44782, 4, 15, 1}, ber::Integer(99)),
            ber::Binding(Object(3, 2), ber::Integer(7)), ber::Binding(Object(4), ber::Integer(8))});
  });
  EXPECT_EQ(pass.requests.size(), 1u);
  ASSERT_EQ(pass.published.size(), 1u);
  EXPECT_EQ(pass.published[0].col2, 5.0f);
  EXPECT_EQ(pass.published[0].col3, 7.0f);  // the later row wins
  EXPECT_EQ(pass.published[0].col4, 8.0f);
}

TEST(BulkWalkHostileAgent, MisbehavingAnswersEndTheWalkWithOneLineAndStillRunTheCycle) {
  struct Case {
    const char* name;
    std::function<Bytes(const ber::Request&)> second_answer;
    const char* diagnostic;
    float col2;  // a repeated name's value is stored before the walk ends
  };
  const Case cases[] = {
      {"error status",
       [](const ber::Request& r) {
         return Answer(r, {ber::Binding(Object(3), ber::Integer(3))}, 5);
       },
       "ended: response with an error status", 1.0f},
      {"no binding", [](const ber::Request& r) { return Answer(r, {}); },
       "ended: response without bindings", 1.0f},
      {"same name",
       [](const ber::Request& r) { return Answer(r, {ber::Binding(Object(2), ber::Integer(2))}); },
       "ended: OID not increasing", 2.0f},
      {"lower name",
       [](const ber::Request& r) {
         return Answer(r, {ber::Binding(Object(1, 9), ber::Integer(2))});
       },
       "ended: OID not increasing", 1.0f},
  };
  for (const Case& c : cases) {
    const Pass pass = RunPass([&](const ber::Request& r, int n) -> std::optional<Bytes> {
      if (n == 0) return Answer(r, {ber::Binding(Object(2), ber::Integer(1))});
      if (n == 1) return c.second_answer(r);
      return EndOfView(r);
    });
    EXPECT_EQ(pass.requests.size(), 2u) << c.name;
    ASSERT_EQ(pass.published.size(), 1u) << c.name;
    EXPECT_EQ(pass.published[0].col2, c.col2) << c.name;
    EXPECT_EQ(pass.published[0].col3, 0.0f) << c.name;  // an error response stores nothing
    EXPECT_NE(pass.err.find(c.diagnostic), std::string::npos) << c.name << ": " << pass.err;
    EXPECT_EQ(std::count(pass.err.begin(), pass.err.end(), '\n'), 1) << c.name;
  }
}

TEST(BulkWalkHostileAgent, AReportAnsweringARequestEndsItAsAnErrorAndStoresNothing) {
  const Pass pass = RunPass([](const ber::Request& r, int) -> std::optional<Bytes> {
    return ber::Response(r.request_id, 0, 0, {ber::Binding(Object(2), ber::Integer(9))}, "tundra",
                         0xA8);
  });
  EXPECT_EQ(pass.requests.size(), 1u);
  ASSERT_EQ(pass.published.size(), 1u);
  EXPECT_EQ(pass.published[0].col2, 0.0f);
  EXPECT_EQ(pass.out, "SNMP_VARNO_PDU::do_sample\nsnmp get error 1\nrvSize is 0\n");
}

TEST(BulkWalkHostileAgent, ExceptionValuesEndTheWalkQuietly) {
  for (unsigned char exception : {0x80, 0x81, 0x82}) {
    const Pass pass = RunPass([&](const ber::Request& r, int n) -> std::optional<Bytes> {
      if (n == 0) return Answer(r, {ber::Binding(Object(2), ber::Integer(4))});
      if (n == 1) return Answer(r, {ber::Binding(Object(3), ber::Null(exception))});
      return Answer(r, {ber::Binding(Object(4), ber::Integer(1))});
    });
    EXPECT_EQ(pass.requests.size(), 2u) << int(exception);
    ASSERT_EQ(pass.published.size(), 1u);
    EXPECT_EQ(pass.published[0].col2, 4.0f);
    EXPECT_EQ(pass.published[0].col4, 0.0f);
    EXPECT_EQ(pass.err, "");
  }
}

TEST(BulkWalkHostileAgent, FloatsAndIntegersAreStoredAndOtherTypesAreSkipped) {
  const std::vector<Bytes> values = {
      ber::OpaqueFloat(1.5f),                         // col2 stored
      ber::Integer(7, 0x42),                          // col3 Gauge32
      ber::Integer(7, 0x41),                          // col4 Counter32
      ber::OctetString("7"),                          // col5 OCTET STRING
      ber::Integer(7, 0x43),                          // col6 TimeTicks
      ber::Tlv(0x44, Bytes{0x01, 0x02, 0x03, 0x04}),  // col7 plain Opaque
      ber::OpaqueFloat(-0.0f),                        // col8 stored
      ber::Integer(2147483647),                       // col9 stored, rounded
  };
  const Pass pass = RunPass([&](const ber::Request& r, int n) -> std::optional<Bytes> {
    if (n < static_cast<int>(values.size())) {
      return Answer(r, {ber::Binding(Object(2 + n), values[n])});
    }
    return EndOfView(r);
  });
  ASSERT_EQ(pass.published.size(), 1u);
  const auto& record = pass.published[0];
  EXPECT_EQ(record.col2, 1.5f);
  for (float skipped : {record.col3, record.col4, record.col5, record.col6, record.col7}) {
    EXPECT_EQ(skipped, 0.0f);
  }
  EXPECT_TRUE(std::signbit(record.col8));
  EXPECT_EQ(record.col9, 2147483648.0f);
  // Values that are not stored do not end the walk.
  EXPECT_EQ(pass.requests.size(), values.size() + 1);
}

TEST(BulkWalkHostileAgent, EndlessIncreasingNamesAreBoundedPerPass) {
  const Pass pass = RunPass([](const ber::Request& r, int n) -> std::optional<Bytes> {
    return Answer(r, {ber::Binding(Object(1, static_cast<std::uint32_t>(n + 1)), ber::Integer(1))});
  });
  EXPECT_EQ(pass.requests.size(), 65536u);
  EXPECT_EQ(pass.published.size(), 1u);
  EXPECT_NE(pass.err.find("request limit"), std::string::npos);
}

TEST(BulkWalkHostileAgent, ThreadedDeviceIsDeletedPromptlyBetweenPasses) {
  ScriptedAgent agent(
      [](const ber::Request& r, int) -> std::optional<Bytes> { return EndOfView(r); });
  testing::internal::CaptureStdout();
  auto device = plugin_host::ConfiguredDevice(8, {agent.address(), "1"});
  ASSERT_TRUE(qtxhost::WaitForCalls(*device, HostCall::Kind::kSaveDeviceHistory, 1,
                                    std::chrono::seconds(20)));
  const auto start = std::chrono::steady_clock::now();
  device.reset();
  const auto took = std::chrono::steady_clock::now() - start;
  testing::internal::GetCapturedStdout();
  EXPECT_LT(took, std::chrono::seconds(2));
}

}  // namespace
