// The transport of a session, made the way snmp_sess_open makes it, in two
// steps: one that reads the library's configuration, under its lock, and
// one that looks the peer's name up, without it.
//
// snmp_sess_open turns the peer string (udp:, udp6:, [v6]:port, host,
// host:port, default port 161) into a UDP transport with
// netsnmp_tdomain_transport_full, which looks the host name up inside, and
// then adds a session on it. That call cannot run without the lock as it
// stands: for a peer that looks like a bare host name it first reads the
// host files hosts/NAME.conf, which may name another target (token
// "transport"), through the library's process-wide configuration state.
// PeerTarget is that first step, word for word. CreateTransport is the rest
// of the call for the target it gives: a target that looks like a bare host
// name is tried as "udp:NAME", then "udp6:NAME", which is what the library
// tries for it after its host files, and which it never reads host files for;
// any other target goes to the library as it is. Neither touches state
// shared with other threads except the library's settings and transport
// domains, which only read here, so lookups of several devices can run at
// the same time as each other and as locked library calls.
#pragma once

#include <string>

#include "driver/snmp/netsnmp.h"

namespace pdu {

// The target the library opens for `peer`, after its host files.
std::string PeerTarget(const std::string& peer) PDU_REQUIRES(NetSnmpMutex());

// True when `target` (from PeerTarget) is a numeric address, IPv4 or IPv6,
// with or without a port and a udp:/udp6: prefix: making its transport
// looks no name up and never waits. False for anything else, whatever it
// turns out to be.
bool IsNumericTarget(const std::string& target);

// A UDP transport to `target` (from PeerTarget), its name looked up; null
// when the target cannot be used, with errno as the library left it. Call
// without the lock: this may take as long as the system's resolver does.
netsnmp_transport* CreateTransport(const std::string& target, int local_port);

// Closes and frees a transport no session took.
void DiscardTransport(netsnmp_transport* transport) PDU_REQUIRES(NetSnmpMutex());

// The address a transport sends to, with its domain, as bytes: equal for two
// transports exactly when they send to one place, whatever names reached it.
// Empty when the transport has no remote address.
std::string TransportKey(const netsnmp_transport& transport);

}  // namespace pdu
