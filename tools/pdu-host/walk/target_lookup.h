// The host name in a walk's target looked up once, the way net-snmp looks
// it up to make the target's UDP transport, so that a name that does not
// resolve costs one look-up (net-snmp alone would try it as IPv4, then as
// IPv6, and the findings once more).
//
// Targets (from pdu::PeerTarget) of the form [udp:|udp6:]HOST[:PORT], HOST a
// name of letters, digits, '.' and '-', are handled: "udp:" asks for IPv4,
// "udp6:" for IPv6, no prefix for IPv4 and else IPv6, as net-snmp tries its
// udp domain first, then udp6. The result is the same target with HOST
// replaced by the address found, for which net-snmp makes the same
// transport without looking anything up, or the finding that HOST does not
// resolve. Other targets are not handled: net-snmp looks them up itself.
// Thread-safe: it calls getaddrinfo only.
#pragma once

#include <optional>
#include <string>

#include "configuration/address_check.h"

namespace pdu_host {

struct TargetLookup {
  bool handled = false;
  std::string numeric;                       // when the name resolved
  std::optional<AddressFinding> unresolved;  // when it did not
};

TargetLookup LookUpTarget(const std::string& target);

}  // namespace pdu_host
