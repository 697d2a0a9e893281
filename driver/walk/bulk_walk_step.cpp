#include "driver/walk/bulk_walk_step.h"

#include <cstdint>
#include <cstring>

namespace pdu {
namespace {

// The plain float tag. net-snmp delivers Opaque-wrapped floats as
// ASN_OPAQUE_FLOAT; both carry the value's four bytes.
constexpr u_char kFloatType = 0x48;

bool InSubtree(const netsnmp_variable_list& binding, const oid* root, std::size_t root_length) {
  return binding.name != nullptr && binding.name_length >= root_length &&
         std::memcmp(binding.name, root, root_length * sizeof(oid)) == 0;
}

bool IsException(u_char type) {
  return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

}  // namespace

const char* UnusualEndReason(WalkStep step) {
  switch (step) {
    case WalkStep::kEndErrorStatus:
      return "response with an error status";
    case WalkStep::kEndNoBinding:
      return "response without bindings";
    case WalkStep::kEndNotIncreasing:
      return "OID not increasing";
    default:
      return nullptr;
  }
}

bool StoreBinding(const netsnmp_variable_list& binding, const oid* root, std::size_t root_length,
                  SNMP_VARNO_PDU_Data_t& record) {
  if (!InSubtree(binding, root, root_length) || binding.name_length <= root_length) return false;
  const oid column = binding.name[root_length];
  if (column > UINT32_MAX) return false;
  const std::size_t offset = ColumnOffset(static_cast<std::uint32_t>(column));
  if (offset == 0) return false;

  if (binding.type == ASN_INTEGER) {
    if (binding.val.integer == nullptr) return false;
    WriteColumn(record, offset, static_cast<float>(*binding.val.integer));
    return true;
  }
  if (binding.type == ASN_OPAQUE_FLOAT || binding.type == kFloatType) {
    if (binding.val.string == nullptr || binding.val_len != sizeof(float)) return false;
    float value;
    std::memcpy(&value, binding.val.string, sizeof value);
    WriteColumn(record, offset, value);
    return true;
  }
  return false;
}

WalkStep ExamineResponse(const netsnmp_pdu& response, const oid* root, std::size_t root_length,
                         oid* cursor, std::size_t* cursor_length, SNMP_VARNO_PDU_Data_t& record,
                         FieldSet* stored) {
  if (response.errstat != SNMP_ERR_NOERROR) return WalkStep::kEndErrorStatus;
  if (response.variables == nullptr) return WalkStep::kEndNoBinding;

  WalkStep step = WalkStep::kContinue;
  const auto end = [&step](WalkStep reason) {
    if (step == WalkStep::kContinue) step = reason;
  };
  for (const netsnmp_variable_list* binding = response.variables; binding != nullptr;
       binding = binding->next_variable) {
    if (!InSubtree(*binding, root, root_length)) {
      end(WalkStep::kEndOutsideSubtree);
      continue;
    }
    if (StoreBinding(*binding, root, root_length, record) && stored != nullptr) {
      *stored |= FieldBit(ColumnOffset(static_cast<std::uint32_t>(binding->name[root_length])));
    }
    if (IsException(binding->type)) {
      end(WalkStep::kEndException);
      continue;
    }
    // Every name must follow the one asked about; otherwise the agent could
    // keep the walk going forever.
    if (snmp_oid_compare(cursor, *cursor_length, binding->name, binding->name_length) >= 0) {
      end(WalkStep::kEndNotIncreasing);
    }
    if (binding->next_variable == nullptr && binding->name_length <= MAX_OID_LEN) {
      std::memcpy(cursor, binding->name, binding->name_length * sizeof(oid));
      *cursor_length = binding->name_length;
    }
  }
  return step;
}

}  // namespace pdu
