#include "driver/snmp/peer_transport.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>

namespace pdu {
namespace {

// The library's test for a target that may have host files (its
// netsnmp_is_fqdn, not exported in every release): letters, digits, '.'
// and '-' only.
bool LooksLikeHostName(const std::string& target) {
  for (const char c : target) {
    const auto byte = static_cast<unsigned char>(c);
    if (c != '.' && !std::isupper(byte) && !std::islower(byte) && !std::isdigit(byte) && c != '-') {
      return false;
    }
  }
  return true;
}

bool AllDigits(const std::string& text) {
  return text.find_first_not_of("0123456789") == std::string::npos;
}

// 192.0.2.1 or 192.0.2.1:161
bool IsIpv4Literal(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::string port = colon == std::string::npos ? "" : text.substr(colon + 1);
  in_addr address;
  return inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) == 1 && AllDigits(port);
}

// ::1, [::1] or [::1]:161
bool IsIpv6Literal(const std::string& text) {
  in6_addr address;
  if (inet_pton(AF_INET6, text.c_str(), &address) == 1) return true;
  const std::size_t close = text.find(']');
  if (text.empty() || text[0] != '[' || close == std::string::npos) return false;
  const std::string port = text.substr(close + 1);
  return inet_pton(AF_INET6, text.substr(1, close - 1).c_str(), &address) == 1 &&
         (port.empty() || (port[0] == ':' && AllDigits(port.substr(1))));
}

netsnmp_transport* Transport(const std::string& target, int local_port) {
  // The default domains snmp_sess_open gives for a session without
  // SNMP_FLAGS_STREAM_SOCKET, which the driver never sets.
  return netsnmp_tdomain_transport_full("snmp", target.c_str(), local_port, "udp,udp6", nullptr);
}

}  // namespace

std::string PeerTarget(const std::string& peer) {
  if (netsnmp_ds_get_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_LOAD_HOST_FILES) ||
      !LooksLikeHostName(peer)) {
    return peer;
  }
  // The library registers the token once per process itself as well; a
  // second registration replaces the first with the same handler.
  static bool token_registered = false;
  if (!token_registered) {
    token_registered = true;
    netsnmp_ds_register_config(ASN_OCTET_STR, "snmp", "transport", NETSNMP_DS_LIBRARY_ID,
                               NETSNMP_DS_LIB_HOSTNAME);
  }
  // The token names a target for this one lookup, never a default.
  std::optional<std::string> previous;
  if (const char* value = netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_HOSTNAME)) {
    previous = value;
  }
  char header[SNMP_MAXPATH];
  std::snprintf(header, sizeof header - 1, "hosts/%s", peer.c_str());
  config_files files{header, read_config_get_handlers("snmp"), nullptr};
  read_config_files_of_type(EITHER_CONFIG, &files);

  std::string target = peer;
  if (const char* named = netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_HOSTNAME)) {
    target.assign(named, std::min<std::size_t>(std::strlen(named), SNMP_MAXPATH - 1));
  }
  netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_HOSTNAME,
                        previous ? previous->c_str() : nullptr);
  return target;
}

bool IsNumericTarget(const std::string& target) {
  const bool udp = target.compare(0, 4, "udp:") == 0;
  const bool udp6 = target.compare(0, 5, "udp6:") == 0;
  const std::string rest = target.substr(udp ? 4 : udp6 ? 5 : 0);
  return (!udp6 && IsIpv4Literal(rest)) || (!udp && IsIpv6Literal(rest));
}

netsnmp_transport* CreateTransport(const std::string& target, int local_port) {
  if (!LooksLikeHostName(target)) return Transport(target, local_port);
  netsnmp_transport* transport = Transport("udp:" + target, local_port);
#ifdef NETSNMP_TRANSPORT_UDPIPV6_DOMAIN
  if (transport == nullptr) transport = Transport("udp6:" + target, local_port);
#endif
  return transport;
}

void DiscardTransport(netsnmp_transport* transport) {
  if (transport == nullptr) return;
  transport->f_close(transport);
  netsnmp_transport_free(transport);
}

std::string TransportKey(const netsnmp_transport& transport) {
  if (transport.remote == nullptr || transport.remote_length <= 0) return std::string();
  const std::size_t domain_bytes = transport.domain_length * sizeof(oid);
  std::string key;
  key.reserve(domain_bytes + transport.remote_length);
  key.append(reinterpret_cast<const char*>(transport.domain), domain_bytes);
  key.append(static_cast<const char*>(transport.remote), transport.remote_length);
  return key;
}

}  // namespace pdu
