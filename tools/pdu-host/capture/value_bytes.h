// A served value's bytes as the capture files write them: hex text, the test
// for text a file can carry as it is, numbers and OIDs as text, and the
// Opaque wrapping net-snmp puts around the special types it decodes (Opaque
// float, double, 64-bit).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "driver/snmp/netsnmp.h"

namespace pdu_host {

// "01 ab ff" with `separator` " ", "01abff" with "".
std::string HexText(const u_char* bytes, std::size_t length, const char* separator);

// Printable ASCII with no space at either end (file readers trim lines);
// false for no bytes at all.
bool IsPlainText(const u_char* bytes, std::size_t length);

// The value in decimal, or for an OBJECT IDENTIFIER as numeric text; none
// without a value or when it does not fit its type: an INTEGER in 32 bits
// signed, a Gauge32, Counter32 or TimeTicks (net-snmp keeps each in a long)
// in 32 bits unsigned, an OBJECT IDENTIFIER of at least two sub-identifiers
// of 32 bits each.
std::optional<std::string> Integer32Text(const netsnmp_variable_list& binding);
std::optional<std::string> Unsigned32Text(const netsnmp_variable_list& binding);
std::optional<std::string> Counter64Text(const netsnmp_variable_list& binding);
std::optional<std::string> ObjectIdText(const netsnmp_variable_list& binding);

// "1.3.6.1.4.1.44782": numeric, whatever MIBs the net-snmp build reads.
std::string OidText(const oid* name, std::size_t length);

// The content of the Opaque that carried `binding` when it is of one of the
// special types (ASN_OPAQUE_FLOAT, ...): extension tag, type, length and
// value, as net-snmp builds them, so that an agent serving these bytes as an
// Opaque is decoded back to the same type and value, every bit of a NaN
// included. None for any other type.
std::optional<std::vector<u_char>> OpaqueWrapping(const netsnmp_variable_list& binding);

}  // namespace pdu_host
