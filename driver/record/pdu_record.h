// SNMP_VARNO_PDU_Data_t: the 135-byte PDU record.
//
// The host publishes, stores and restores this record as raw bytes, so it is
// a byte format: packed, little-endian as it lies in memory on the target,
// data_id at 0, column N (2..30) at 4*(N-1), columns 341 and 342 at 120 and
// 124, the host's 7-byte time stamp at 128.
//
// Members are packed and may be misaligned: read and write them by value or
// through WriteColumn/ReadColumn, never through a pointer or reference to a
// member (ARM traps misaligned float access).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct __attribute__((packed)) SNMP_VARNO_PDU_Data_t {
  std::uint32_t data_id;
  float col2, col3, col4, col5, col6, col7, col8, col9, col10;
  float col11, col12, col13, col14, col15, col16, col17, col18, col19, col20;
  float col21, col22, col23, col24, col25, col26, col27, col28, col29, col30;
  float col341;
  float col342;
  unsigned char ttime[7];
};

static_assert(sizeof(SNMP_VARNO_PDU_Data_t) == 135, "the PDU record is 135 bytes");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, data_id) == 0, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, col2) == 4, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, col11) == 40, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, col20) == 76, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, col28) == 108, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, col30) == 116, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, col341) == 120, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, col342) == 124, "record layout");
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, ttime) == 128, "record layout");
static_assert(sizeof(float) == 4, "columns are IEEE-754 singles");

namespace pdu {

inline constexpr std::uint32_t kFirstColumn = 2;
inline constexpr std::uint32_t kLastPlainColumn = 30;

// Byte offset of column `column` in the record, or 0 when the record has no
// field for it (offset 0 is data_id, never a column).
constexpr std::size_t ColumnOffset(std::uint32_t column) {
  if (column >= kFirstColumn && column <= kLastPlainColumn) return 4 * (column - 1);
  if (column == 341) return 120;
  if (column == 342) return 124;
  return 0;
}

inline void WriteColumn(SNMP_VARNO_PDU_Data_t& record, std::size_t offset, float value) {
  std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &value, sizeof value);
}

// A set of the record's 4-byte fields (data_id and the columns), bit
// offset/4 for the field at `offset`.
using FieldSet = std::uint32_t;
static_assert(offsetof(SNMP_VARNO_PDU_Data_t, ttime) / 4 <= 32, "one bit per 4-byte field");

constexpr FieldSet FieldBit(std::size_t offset) { return FieldSet{1} << (offset / 4); }

// Copies the 4-byte fields in `fields` from `from` into `to`.
inline void CopyFields(const SNMP_VARNO_PDU_Data_t& from, FieldSet fields,
                       SNMP_VARNO_PDU_Data_t& to) {
  for (std::size_t offset = 0; offset < offsetof(SNMP_VARNO_PDU_Data_t, ttime); offset += 4) {
    if ((fields & FieldBit(offset)) != 0) {
      std::memcpy(reinterpret_cast<unsigned char*>(&to) + offset,
                  reinterpret_cast<const unsigned char*>(&from) + offset, 4);
    }
  }
}

inline float ReadColumn(const SNMP_VARNO_PDU_Data_t& record, std::size_t offset) {
  float value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof value);
  return value;
}

}  // namespace pdu
