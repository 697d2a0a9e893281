// A served value's bytes as the capture files write them: hex text, the test
// for text a file can carry as it is, and the Opaque wrapping net-snmp puts
// around the special types it decodes (Opaque float, double, 64-bit).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "driver/netsnmp.h"

namespace pdu_host {

// "01 ab ff" with `separator` " ", "01abff" with "".
std::string HexText(const u_char* bytes, std::size_t length, const char* separator);

// Printable ASCII with no space at either end (file readers trim lines);
// false for no bytes at all.
bool IsPlainText(const u_char* bytes, std::size_t length);

// A Gauge32, Counter32 or TimeTicks value as net-snmp keeps it (in a long);
// none without a value or when it does not fit 32 bits.
std::optional<unsigned long> Unsigned32Value(const netsnmp_variable_list& binding);

// The content of the Opaque that carried `binding` when it is of one of the
// special types (ASN_OPAQUE_FLOAT, ...): extension tag, type, length and
// value, as net-snmp builds them, so that an agent serving these bytes as an
// Opaque is decoded back to the same type and value, every bit of a NaN
// included. None for any other type.
std::optional<std::vector<u_char>> OpaqueWrapping(const netsnmp_variable_list& binding);

}  // namespace pdu_host
