// The PDU record is a byte format shared with the host's cache and history.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "driver/record/pdu_record.h"

namespace {

TEST(PduRecord, LayoutIsPacked135Bytes) {
  EXPECT_EQ(sizeof(SNMP_VARNO_PDU_Data_t), 135u);
  EXPECT_EQ(alignof(SNMP_VARNO_PDU_Data_t), 1u);
  EXPECT_EQ(offsetof(SNMP_VARNO_PDU_Data_t, col3), 8u);
  EXPECT_EQ(offsetof(SNMP_VARNO_PDU_Data_t, col21), 80u);
  EXPECT_EQ(offsetof(SNMP_VARNO_PDU_Data_t, col27), 104u);
  EXPECT_EQ(sizeof(SNMP_VARNO_PDU_Data_t::ttime), 7u);
}

TEST(PduRecord, ColumnOffsetsCoverExactlyTheRecordedColumns) {
  for (std::uint32_t column = 2; column <= 30; ++column) {
    EXPECT_EQ(pdu::ColumnOffset(column), 4 * (column - 1)) << column;
  }
  EXPECT_EQ(pdu::ColumnOffset(341), 120u);
  EXPECT_EQ(pdu::ColumnOffset(342), 124u);
  for (std::uint32_t column : {0u, 1u, 31u, 100u, 340u, 343u, 0xFFFFFFFFu}) {
    EXPECT_EQ(pdu::ColumnOffset(column), 0u) << column;
  }
}

TEST(PduRecord, WritingAColumnTouchesOnlyItsFourBytes) {
  SNMP_VARNO_PDU_Data_t record;
  std::memset(&record, 0xAA, sizeof record);
  pdu::WriteColumn(record, pdu::ColumnOffset(341), std::numeric_limits<float>::quiet_NaN());
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  for (std::size_t i = 0; i < sizeof record; ++i) {
    if (i >= 120 && i < 124) continue;
    EXPECT_EQ(bytes[i], 0xAA) << i;
  }
  EXPECT_TRUE(std::isnan(record.col341));
}

}  // namespace
