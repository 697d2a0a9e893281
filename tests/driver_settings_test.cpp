// The driver's own configuration step, seen from inside the device.
#include <gtest/gtest.h>

#include <json/value.h>

#include "driver/snmp_varno_pdu.h"
#include "support/hostile_pass.h"

namespace {

class TestPdu : public SNMP_VARNO_PDU {
 public:
  using SNMP_VARNO_PDU::address_;
  using SNMP_VARNO_PDU::data_;
};

TEST(DriverSettings, PeerIsTheDevicesOwnCopyOfTheConfiguredAddress) {
  ScriptedAgent agent([](const ber::Request& r, int) -> std::optional<ber::Bytes> {
    return hostile::EndOfView(r);
  });
  TestPdu device;
  Json::Value config(Json::objectValue);
  config["address"] = agent.address();
  testing::internal::CaptureStdout();
  EXPECT_EQ(device.InitV(nullptr, 9, config), 1);
  // The host's text changes and shrinks; the configured peer stays valid.
  device.address_.assign(1000, 'x');
  device.address_ = "y";
  device.address_.shrink_to_fit();
  EXPECT_EQ(device.RefreshStatus(), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(agent.requests().size(), 1u);
  EXPECT_EQ(device.data_.data_id, 9u);
}

}  // namespace
