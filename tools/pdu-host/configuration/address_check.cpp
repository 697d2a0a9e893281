#include "configuration/address_check.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

#include "driver/snmp/peer_transport.h"

namespace pdu_host {
namespace {

struct Transport {
  const char* name;
  int family;
  bool tcp;
};

// The transports a net-snmp client names for IP; others are not PDUs'.
constexpr Transport kTransports[] = {{"udp", AF_INET, false},    {"udp6", AF_INET6, false},
                                     {"udpv6", AF_INET6, false}, {"udpipv6", AF_INET6, false},
                                     {"tcp", AF_INET, true},     {"tcp6", AF_INET6, true},
                                     {"tcpv6", AF_INET6, true},  {"tcpipv6", AF_INET6, true}};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const Transport* FindTransport(const std::string& name) {
  for (const Transport& transport : kTransports) {
    if (Lower(name) == transport.name) return &transport;
  }
  return nullptr;
}

bool IsWord(const std::string& text) {
  return !text.empty() && std::isalpha(static_cast<unsigned char>(text[0])) &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

bool IsIpv6(const std::string& text) {
  unsigned char bytes[16];
  return inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

std::string WhereSpace(const std::string& address) {
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  if (space(address.front())) return "white space at the start";
  if (space(address.back())) return "white space at the end";
  return "white space inside";
}

void CheckPort(const std::string& port, std::vector<AddressFinding>& findings) {
  const bool digits =
      !port.empty() && port.size() <= 5 &&
      std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits || std::stol(port) > 65535) {
    findings.push_back({"the port \"" + port + "\" is not a number from 1 to 65535", true});
  } else if (std::stol(port) == 0) {
    findings.push_back({"port 0: net-snmp opens it, but no request can be sent to it", false});
  }
}

void CheckHost(const std::string& host, int family, std::vector<AddressFinding>& findings) {
  if (host.empty()) {
    findings.push_back({"no host before the port: net-snmp asks this machine", false});
    return;
  }
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (found != nullptr) freeaddrinfo(found);
  if (error != 0) findings.push_back(UnresolvedName(host, family, error));
}

bool HasSpace(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

AddressFinding UnresolvedName(const std::string& host, int family, int error) {
  const char* which = family == AF_INET    ? " to an IPv4 address"
                      : family == AF_INET6 ? " to an IPv6 address"
                                           : "";
  return {"the name \"" + host + "\" does not resolve" + which + " (" + gai_strerror(error) + ")",
          true};
}

std::string AddressWithPort(const std::string& address) {
  if (address.empty() || HasSpace(address)) return address;
  std::string prefix;
  std::string rest = address;
  if (const std::size_t colon = rest.find(':');
      colon != std::string::npos && FindTransport(rest.substr(0, colon)) != nullptr) {
    prefix = rest.substr(0, colon + 1);
    rest.erase(0, colon + 1);
  }
  const std::string port = ":" + std::to_string(kDefaultSnmpPort);
  if (!rest.empty() && rest.front() == '[') {
    const bool bare = rest.find(']') == rest.size() - 1;
    return bare ? address + port : address;
  }
  const auto colons = std::count(rest.begin(), rest.end(), ':');
  if (colons == 0) return address + port;
  if (colons > 1 && IsIpv6(rest)) return prefix + "[" + rest + "]" + port;
  return address;
}

AddressLookup LookUpAddress(const std::string& address, bool look_up_names) {
  AddressLookup lookup;
  netsnmp_transport* transport = nullptr;
  if (!look_up_names && !address.empty() && !pdu::IsNumericTarget(address)) {
    lookup.findings = AddressFindings(address, /*look_up_name=*/false);
    if (!lookup.findings.empty() && lookup.findings.front().stops_open) return lookup;
    std::string key = Lower(AddressWithPort(address));
    if (key.rfind("udp:", 0) == 0) key.erase(0, 4);
    lookup.pdu_key = "written " + key;
    return lookup;
  }
  if (!address.empty()) {
    std::string target;
    {
      const pdu::MutexLock lock(pdu::NetSnmpMutex());
      // net-snmp registers its transports as it makes its first session.
      static const bool ready = [] {
        netsnmp_session unused;
        snmp_sess_init(&unused);
        return true;
      }();
      static_cast<void>(ready);
      target = pdu::PeerTarget(address);
    }
    transport = pdu::CreateTransport(target, 0);
  }
  if (transport == nullptr) {
    lookup.findings = AddressFindings(address);
    return lookup;
  }
  lookup.pdu_key = pdu::TransportKey(*transport);
  {
    const pdu::MutexLock lock(pdu::NetSnmpMutex());
    pdu::DiscardTransport(transport);
  }
  lookup.findings = AddressFindings(address, /*look_up_name=*/false);
  return lookup;
}

std::vector<AddressFinding> AddressFindings(const std::string& address, bool look_up_name) {
  std::vector<AddressFinding> findings;
  if (address.empty()) {
    findings.push_back({"the address is empty: the plug-in never samples this device", false});
    return findings;
  }
  if (HasSpace(address)) {
    findings.push_back({"\"" + address + "\" has " + WhereSpace(address) +
                            ", which net-snmp takes as part of the name",
                        true});
    return findings;
  }

  std::string rest = address;
  int family = AF_UNSPEC;
  if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
    if (const Transport* transport = FindTransport(rest.substr(0, colon))) {
      family = transport->family;
      if (transport->tcp) {
        findings.push_back(
            {"\"" + std::string(transport->name) + ":\" asks over TCP; PDUs answer SNMP over UDP",
             false});
      }
      rest.erase(0, colon + 1);
    }
  }

  std::string host = rest;
  std::string port;
  bool has_port = false;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos || (close + 1 < rest.size() && rest[close + 1] != ':')) {
      findings.push_back({"\"" + address + "\" is not [IPv6 address]:PORT", true});
      return findings;
    }
    host = rest.substr(1, close - 1);
    has_port = close + 1 < rest.size();
    if (has_port) port = rest.substr(close + 2);
  } else if (std::count(rest.begin(), rest.end(), ':') > 1) {
    if (!IsIpv6(rest)) {
      const std::string first = rest.substr(0, rest.find(':'));
      findings.push_back({IsWord(first)
                              ? "\"" + first +
                                    ":\" is not a transport net-snmp knows (udp:, udp6:, "
                                    "tcp:, tcp6:)"
                              : "\"" + address + "\" is neither HOST:PORT nor an IPv6 address",
                          true});
      return findings;
    }
  } else if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    has_port = true;
  }
  if (has_port) CheckPort(port, findings);
  if (look_up_name || host.empty()) CheckHost(host, family, findings);
  return findings;
}

}  // namespace pdu_host
