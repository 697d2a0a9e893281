// Storing single bindings: the checks on names, types and lengths that stand
// between an agent's answer and the record, including values net-snmp itself
// never hands over.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "driver/walk/bulk_walk_step.h"

namespace {

const oid kRoot[] = {1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1};
constexpr std::size_t kRootLength = sizeof kRoot / sizeof kRoot[0];

// A binding built by hand, as net-snmp lays one out.
struct Binding {
  std::vector<oid> name;
  long integer = 0;
  unsigned char bytes[8] = {};
  netsnmp_variable_list var{};

  Binding(std::vector<oid> suffix, u_char type, std::size_t length) {
    name.assign(std::begin(kRoot), std::end(kRoot));
    name.insert(name.end(), suffix.begin(), suffix.end());
    var.name = name.data();
    var.name_length = name.size();
    var.type = type;
    var.val_len = length;
    var.val.string = bytes;
  }
};

std::array<unsigned char, 4> BytesAt(const SNMP_VARNO_PDU_Data_t& record, std::size_t offset) {
  std::array<unsigned char, 4> bytes;
  std::memcpy(bytes.data(), reinterpret_cast<const unsigned char*>(&record) + offset, 4);
  return bytes;
}

TEST(BulkWalkStepStoreBinding, ValuesBecomeLittleEndianSinglesInTheirColumn) {
  using Bytes = std::array<unsigned char, 4>;
  struct Case {
    oid column;
    long integer;
    Bytes bytes;
  };
  const Case cases[] = {
      {2, -1, {0x00, 0x00, 0x80, 0xBF}},
      {3, 230, {0x00, 0x00, 0x66, 0x43}},
      {341, (1 << 24) + 1, {0x00, 0x00, 0x80, 0x4B}},  // rounds to 2^24
  };
  SNMP_VARNO_PDU_Data_t record{};
  for (const Case& c : cases) {
    Binding binding({c.column, 1}, ASN_INTEGER, sizeof(long));
    binding.integer = c.integer;
    binding.var.val.integer = &binding.integer;
    EXPECT_TRUE(pdu::StoreBinding(binding.var, kRoot, kRootLength, record));
    EXPECT_EQ(BytesAt(record, pdu::ColumnOffset(static_cast<std::uint32_t>(c.column))), c.bytes)
        << c.integer;
  }
  const float value = 1.5f;
  Binding opaque({342, 1}, ASN_OPAQUE_FLOAT, sizeof value);
  std::memcpy(opaque.bytes, &value, sizeof value);
  EXPECT_TRUE(pdu::StoreBinding(opaque.var, kRoot, kRootLength, record));
  EXPECT_EQ(BytesAt(record, 124), (Bytes{0x00, 0x00, 0xC0, 0x3F}));
}

TEST(BulkWalkStepStoreBinding, FloatsNeedExactlyFourBytes) {
  const float value = 1.5f;
  for (u_char type : {u_char{0x48}, u_char{ASN_OPAQUE_FLOAT}}) {
    for (std::size_t length : {0u, 3u, 5u, 8u}) {
      Binding binding({2, 1}, type, length);
      std::memcpy(binding.bytes, &value, sizeof value);
      SNMP_VARNO_PDU_Data_t record{};
      EXPECT_FALSE(pdu::StoreBinding(binding.var, kRoot, kRootLength, record)) << length;
      EXPECT_EQ(record.col2, 0.0f);
    }
    Binding binding({2, 1}, type, 4);
    std::memcpy(binding.bytes, &value, sizeof value);
    SNMP_VARNO_PDU_Data_t record{};
    EXPECT_TRUE(pdu::StoreBinding(binding.var, kRoot, kRootLength, record));
    EXPECT_EQ(record.col2, 1.5f);
  }
}

TEST(BulkWalkStepStoreBinding, OnlyNamedColumnsWithAFieldAreWritten) {
  SNMP_VARNO_PDU_Data_t record{};
  std::vector<std::vector<oid>> suffixes = {{}, {1, 1}, {31, 1}, {340, 1}, {343, 1}};
  // Where sub-identifiers are 64 bits wide, a column must not be truncated
  // onto a real one.
  if (sizeof(oid) > 4) suffixes.push_back({static_cast<oid>(0x100000002ull), 1});
  for (const std::vector<oid>& suffix : suffixes) {
    Binding binding(suffix, ASN_INTEGER, sizeof(long));
    binding.integer = 9;
    binding.var.val.integer = &binding.integer;
    EXPECT_FALSE(pdu::StoreBinding(binding.var, kRoot, kRootLength, record)) << suffix.size();
  }
  const std::vector<unsigned char> zero(sizeof record, 0);
  EXPECT_EQ(0, std::memcmp(&record, zero.data(), sizeof record));

  Binding outside({2, 1}, ASN_INTEGER, sizeof(long));
  outside.name[7] = 5;  // 1.3.6.1.4.1.44782.5...
  outside.var.val.integer = &outside.integer;
  EXPECT_FALSE(pdu::StoreBinding(outside.var, kRoot, kRootLength, record));

  Binding no_value({2, 1}, ASN_INTEGER, sizeof(long));
  no_value.var.val.integer = nullptr;
  EXPECT_FALSE(pdu::StoreBinding(no_value.var, kRoot, kRootLength, record));
}

TEST(BulkWalkStepExamineResponse, CursorMovesToTheLastBindingInsideTheSubtree) {
  Binding first({2, 1}, ASN_INTEGER, sizeof(long));
  first.integer = 1;
  first.var.val.integer = &first.integer;
  Binding second({3, 1}, ASN_INTEGER, sizeof(long));
  second.integer = 2;
  second.var.val.integer = &second.integer;
  first.var.next_variable = &second.var;
  netsnmp_pdu response{};
  response.variables = &first.var;

  oid cursor[MAX_OID_LEN];
  std::copy(std::begin(kRoot), std::end(kRoot), cursor);
  std::size_t cursor_length = kRootLength;
  SNMP_VARNO_PDU_Data_t record{};
  EXPECT_EQ(pdu::ExamineResponse(response, kRoot, kRootLength, cursor, &cursor_length, record),
            pdu::WalkStep::kContinue);
  ASSERT_EQ(cursor_length, kRootLength + 2);
  EXPECT_EQ(cursor[kRootLength], 3u);
  EXPECT_EQ(record.col2, 1.0f);
  EXPECT_EQ(record.col3, 2.0f);

  // The same answer again does not move the walk forward.
  EXPECT_EQ(pdu::ExamineResponse(response, kRoot, kRootLength, cursor, &cursor_length, record),
            pdu::WalkStep::kEndNotIncreasing);
}

// Bindings out of order: each is judged against the cursor asked about, which
// only the last one moves.
TEST(BulkWalkStepExamineResponse, OnlyTheLastBindingMovesTheCursor) {
  Binding later({3, 1}, ASN_INTEGER, sizeof(long));
  later.var.val.integer = &later.integer;
  Binding earlier({2, 1}, ASN_INTEGER, sizeof(long));
  earlier.var.val.integer = &earlier.integer;
  later.var.next_variable = &earlier.var;
  netsnmp_pdu response{};
  response.variables = &later.var;
  oid cursor[MAX_OID_LEN];
  std::copy(std::begin(kRoot), std::end(kRoot), cursor);
  std::size_t cursor_length = kRootLength;
  SNMP_VARNO_PDU_Data_t record{};
  EXPECT_EQ(pdu::ExamineResponse(response, kRoot, kRootLength, cursor, &cursor_length, record),
            pdu::WalkStep::kContinue);
  ASSERT_EQ(cursor_length, kRootLength + 2);
  EXPECT_EQ(cursor[kRootLength], 2u);
}

}  // namespace
