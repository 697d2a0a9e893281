// One step of the PDU table walk: what the driver does with a response.
//
// Each GETBULK request asks for the successor of the cursor. The response's
// bindings are examined in order: a binding inside the walked subtree stores
// its value into the record (INTEGER, or a 4-byte float either as net-snmp's
// Opaque float or as the plain float tag), and the last one moves the
// cursor. The walk ends on a binding outside the subtree, on an exception
// value (noSuchObject, noSuchInstance, endOfMibView), and, since an agent
// must never make the walk go round forever, on a response with an error
// status, on one without bindings, and on a name not greater than the cursor.
#pragma once

#include <cstddef>

#include "driver/record/pdu_record.h"
#include "driver/snmp/netsnmp.h"

namespace pdu {

enum class WalkStep {
  kContinue,
  kEndOutsideSubtree,
  kEndException,
  kEndErrorStatus,
  kEndNoBinding,
  kEndNotIncreasing,
};

// A one-line reason for the ends that only a misbehaving agent causes;
// null for kContinue and the two ordinary ends.
const char* UnusualEndReason(WalkStep step);

// Stores `binding`'s value into the record field of its column, when the
// name lies below `root` with a column that has a field and the type and
// length are storable. True when a field was written.
bool StoreBinding(const netsnmp_variable_list& binding, const oid* root, std::size_t root_length,
                  SNMP_VARNO_PDU_Data_t& record);

// Examines a received response: stores its values, adds the fields written
// to `*stored` when given, and moves the cursor (`cursor`, `cursor_length`,
// capacity MAX_OID_LEN) to the last binding's name. Returns kContinue while
// the walk should go on.
WalkStep ExamineResponse(const netsnmp_pdu& response, const oid* root, std::size_t root_length,
                         oid* cursor, std::size_t* cursor_length, SNMP_VARNO_PDU_Data_t& record,
                         FieldSet* stored = nullptr);

}  // namespace pdu
