// pdu-bench: the walk without the plug-in. The same requests over the same
// net-snmp single-session API (v2c, community "tundra", time-out 10 s and
// one retry, non-repeaters 1, max-repetitions 100, one binding), with
// nothing stored. One session per pass, opened and closed like the plug-in
// does.
#pragma once

#include <string>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

namespace bench {

// Requests of one walk of the simulated PDU's default table: 31 objects,
// then the name past the table.
inline constexpr int kExpectedRequests = 32;

class BareWalker {
 public:
  explicit BareWalker(const std::string& peer);
  BareWalker(const BareWalker&) = delete;
  BareWalker& operator=(const BareWalker&) = delete;

  // One walk of the table; returns the number of requests sent, negated when
  // the session could not be opened or a request failed.
  int Pass();

 private:
  static constexpr char kCommunity[] = "tundra";

  char community_[sizeof kCommunity] = {};
  std::string peer_;
  netsnmp_session settings_{};
};

}  // namespace bench
