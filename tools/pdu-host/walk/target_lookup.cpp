#include "walk/target_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace pdu_host {
namespace {

bool IsHostName(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-';
  });
}

bool IsPort(const std::string& text) {
  return !text.empty() && text.size() <= 5 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The text form of the first address of `family` in `found`; empty when none.
std::string FirstAddress(const addrinfo* found, int family) {
  for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
    if (at->ai_family != family) continue;
    char text[INET6_ADDRSTRLEN] = "";
    const void* bytes =
        family == AF_INET
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(at->ai_addr)->sin_addr)
            : static_cast<const void*>(
                  &reinterpret_cast<const sockaddr_in6*>(at->ai_addr)->sin6_addr);
    if (inet_ntop(family, bytes, text, sizeof text) != nullptr) return text;
  }
  return "";
}

}  // namespace

TargetLookup LookUpTarget(const std::string& target) {
  int family = AF_UNSPEC;
  std::string rest = target;
  if (rest.rfind("udp:", 0) == 0) {
    family = AF_INET;
    rest.erase(0, 4);
  } else if (rest.rfind("udp6:", 0) == 0) {
    family = AF_INET6;
    rest.erase(0, 5);
  }
  std::string host = rest;
  std::string port;
  if (const std::size_t colon = rest.find(':'); colon != std::string::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (!IsPort(port)) return {};
  }
  if (!IsHostName(host)) return {};

  TargetLookup result;
  result.handled = true;
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  const std::string v4 = family != AF_INET6 ? FirstAddress(found, AF_INET) : "";
  const std::string v6 = v4.empty() && family != AF_INET ? FirstAddress(found, AF_INET6) : "";
  if (found != nullptr) freeaddrinfo(found);
  const std::string with_port = port.empty() ? "" : ":" + port;
  if (!v4.empty()) {
    result.numeric = "udp:" + v4 + with_port;
  } else if (!v6.empty()) {
    result.numeric = "udp6:[" + v6 + "]" + with_port;
  } else {
    result.unresolved = UnresolvedName(host, family, error != 0 ? error : EAI_NONAME);
  }
  return result;
}

}  // namespace pdu_host
