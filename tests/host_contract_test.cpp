// Pins the virtual slot of every operation the host calls: the host reaches
// the plug-in only through these tables, so a reordered declaration breaks it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "driver/snmp_varno_pdu.h"
#include "support/test_device.h"

namespace {

// Slot index held in a pointer to a virtual member function. Itanium C++ ABI:
// the pointer word holds 1 + the slot's byte offset. ARM's variant of that ABI
// holds the plain offset and marks virtualness in the adjustment's low bit.
template <typename MemberFunction>
long VirtualSlot(MemberFunction function) {
  static_assert(sizeof(function) == 2 * sizeof(std::ptrdiff_t), "Itanium member pointer");
  std::ptrdiff_t words[2];
  std::memcpy(words, &function, sizeof words);
#if defined(__arm__) || defined(__aarch64__)
  if ((words[1] & 1) == 0) return -1;
  return static_cast<long>(words[0] / static_cast<std::ptrdiff_t>(sizeof(void*)));
#else
  if ((words[0] & 1) == 0) return -1;
  return static_cast<long>((words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
#endif
}

using Buffers = std::vector<boost::asio::const_buffer>;

template <typename Device>
void ExpectHostSlotOrder() {
  EXPECT_EQ(VirtualSlot(&Device::Get_Value), 0);
  EXPECT_EQ(VirtualSlot(static_cast<bool (Device::*)(const std::string&)>(&Device::LoadFromCache)),
            1);
  EXPECT_EQ(
      VirtualSlot(static_cast<bool (Device::*)(const unsigned char*, int)>(&Device::LoadFromCache)),
      2);
  EXPECT_EQ(VirtualSlot(&Device::DataId), 3);
  EXPECT_EQ(VirtualSlot(&Device::DeviceType), 4);
  EXPECT_EQ(VirtualSlot(&Device::DeviceIoControl), 5);
  EXPECT_EQ(VirtualSlot(&Device::RoundDone), 6);
  EXPECT_EQ(VirtualSlot(&Device::UseControllerDb), 7);
  // Slots 8 and 9 are the two destructor entries.
  EXPECT_EQ(VirtualSlot(&Device::Reset), 10);
  EXPECT_EQ(VirtualSlot(&Device::InitV), 11);
  EXPECT_EQ(VirtualSlot(&Device::Init), 12);
  EXPECT_EQ(VirtualSlot(&Device::InitSetting), 13);
  EXPECT_EQ(VirtualSlot(&Device::IsSupportDevice), 14);
  EXPECT_EQ(VirtualSlot(&Device::GetChildVDevice), 15);
  EXPECT_EQ(VirtualSlot(&Device::GetAllChildVDevices), 16);
  EXPECT_EQ(VirtualSlot(&Device::SendSP), 17);
  EXPECT_EQ(VirtualSlot(&Device::SendDelayData), 18);
  EXPECT_EQ(VirtualSlot(&Device::SendDoData), 19);
  EXPECT_EQ(VirtualSlot(&Device::ReadDi), 20);
  EXPECT_EQ(VirtualSlot(&Device::ReadAi), 21);
  EXPECT_EQ(VirtualSlot(&Device::Get_SP_Value), 22);
  EXPECT_EQ(VirtualSlot(&Device::process), 23);
  EXPECT_EQ(VirtualSlot(&Device::process_data), 24);
  EXPECT_EQ(VirtualSlot(&Device::OnConnected), 25);
  EXPECT_EQ(VirtualSlot(&Device::RefreshStatus), 26);
  EXPECT_EQ(VirtualSlot(&Device::StartSocket), 27);
  EXPECT_EQ(VirtualSlot(&Device::CloseSocket), 28);
  EXPECT_EQ(VirtualSlot(static_cast<int (Device::*)(const unsigned char*, unsigned int)>(
                &Device::SendSocketData)),
            29);
  EXPECT_EQ(VirtualSlot(static_cast<int (Device::*)(int, const unsigned char*, unsigned int)>(
                &Device::SendSocketData)),
            30);
  EXPECT_EQ(VirtualSlot(static_cast<int (Device::*)(const Buffers&)>(&Device::SendSocketData)), 31);
  EXPECT_EQ(VirtualSlot(static_cast<int (Device::*)(int, const Buffers&)>(&Device::SendSocketData)),
            32);
}

TEST(HostContract, SocketDeviceSlotOrder) { ExpectHostSlotOrder<QTXSocketDevice>(); }

TEST(HostContract, UniformDataDeviceKeepsSlotsAndAddsRunCheckThresholdLast) {
  ExpectHostSlotOrder<PduDeviceBase>();
  EXPECT_EQ(VirtualSlot(&PduDeviceBase::RunCheckThreshold), 33);
}

TEST(HostContract, DriverKeepsEverySlot) {
  ExpectHostSlotOrder<SNMP_VARNO_PDU>();
  EXPECT_EQ(VirtualSlot(&SNMP_VARNO_PDU::RunCheckThreshold), 33);
}

TEST(HostContract, InlineDefaults) {
  TestDevice device;
  EXPECT_THROW(
      {
        try {
          device.Get_Value(0, "x");
        } catch (const std::out_of_range& e) {
          EXPECT_STREQ(e.what(), "数据未就绪");
          throw;
        }
      },
      std::out_of_range);
  EXPECT_EQ(device.GetChildVDevice(1), nullptr);
  EXPECT_TRUE(device.GetAllChildVDevices().empty());
  EXPECT_EQ(device.DataId(), 0u);
  EXPECT_EQ(device.DeviceType(), "");
}

TEST(HostContract, StringLoadFromCacheForwardsBytesAndLength) {
  TestDevice device;
  std::string cached(sizeof(SNMP_VARNO_PDU_Data_t), '\0');
  cached[0] = 9;  // data_id 9
  testing::internal::CaptureStdout();
  EXPECT_TRUE(device.LoadFromCache(cached));
  EXPECT_FALSE(device.LoadFromCache(cached + "x"));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(device.data_.data_id, 9u);
}

}  // namespace
