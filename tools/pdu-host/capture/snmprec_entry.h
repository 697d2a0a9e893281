// How a .snmprec file (the format snmpsim serves: "OID|TAG|VALUE" lines)
// holds a value an agent served: "TAG|VALUE", with the value's BER tag as a
// decimal number, and the value as hex when the tag ends in "x":
//
//   2|2301            INTEGER              65|5       Counter32
//   4|230.6 V         OCTET STRING, text   66|2298    Gauge32, Unsigned32
//   4x|00ff41         OCTET STRING, other  67|12345   TimeTicks
//   5|                NULL                 68x|0102   Opaque
//   6|1.3.6.1.4.1.99  OBJECT IDENTIFIER    70|5       Counter64
//   64x|0a010203      IpAddress
//
// net-snmp hands over a float as ASN_OPAQUE_FLOAT, the Opaque that carried
// it decoded. It is written as that Opaque again, "68x|9f78044247eb85"
// (extension tag 9f 78, length 4, the IEEE-754 bits big-endian): snmpsim
// sends these bytes back and net-snmp decodes the same float, NaN bits
// included. Opaque doubles and 64-bit integers likewise. A bare application
// tag 8 (0x48) has no .snmprec tag, and net-snmp refuses a response carrying
// one, so it never reaches a capture.
#pragma once

#include <optional>
#include <string>

#include "driver/snmp/netsnmp.h"

namespace pdu_host {

// "TAG|VALUE" for `binding`; none for a type snmpsim cannot serve (BITS, an
// exception value, ...).
std::optional<std::string> SnmprecEntry(const netsnmp_variable_list& binding);

}  // namespace pdu_host
