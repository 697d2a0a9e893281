// What net-snmp will make of a device's address, found without contacting
// the PDU (a host name is looked up, nothing is sent to it).
//
// The plug-in hands the address to net-snmp as the peer name, which reads it
// as [TRANSPORT:]HOST[:PORT] (HOST may be an IPv6 address, bare or in
// brackets; the port defaults to 161), looks HOST up and opens a socket.
// net-snmp cannot open an address with white space in it, a port that is not
// a number from 1 to 65535, a transport it does not know or a name that does
// not resolve, and says "Unknown host" for each; these findings stop the
// open. Others only surprise: an empty address (the plug-in never samples),
// an empty host (net-snmp asks this machine), port 0 (opens, but nothing can
// be sent) and TCP (PDUs answer SNMP over UDP).
#pragma once

#include <string>
#include <vector>

namespace pdu_host {

struct AddressFinding {
  std::string text;         // one sentence naming the part that is wrong
  bool stops_open = false;  // net-snmp cannot open a session for the address
};

// With `look_up_name` false, a name is taken as resolving.
std::vector<AddressFinding> AddressFindings(const std::string& address, bool look_up_name = true);

// The finding for `host`, which getaddrinfo could not look up (its `error`)
// in `family` (AF_UNSPEC, AF_INET or AF_INET6).
AddressFinding UnresolvedName(const std::string& host, int family, int error);

// The port net-snmp uses when an address names none.
inline constexpr int kDefaultSnmpPort = 161;

// The address with the port net-snmp will use written out: "192.0.2.10"
// gives "192.0.2.10:161", "udp6:fe80::1" gives "udp6:[fe80::1]:161". An
// address that names its port, or that net-snmp cannot read, is returned
// as it is.
std::string AddressWithPort(const std::string& address);

// What net-snmp opens for an address, its name looked up once, as the
// plug-in looks it up (driver/snmp/peer_transport.h).
struct AddressLookup {
  std::vector<AddressFinding> findings;  // as AddressFindings gives them
  // Equal for two addresses exactly when net-snmp sends both to one place
  // ("localhost:161", "127.0.0.1" and "udp:127.0.0.1:161" give one key);
  // empty when it opens nothing.
  std::string pdu_key;
};
// With `look_up_names` false, a name is taken as resolving and compared as
// written (its port written out, "udp:" left out, in lower case): only
// numeric addresses are then compared as net-snmp opens them.
AddressLookup LookUpAddress(const std::string& address, bool look_up_names = true);

}  // namespace pdu_host
