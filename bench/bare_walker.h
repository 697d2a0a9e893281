// pdu-bench: the walk without the plug-in. The same requests over the same
// net-snmp single-session API (v2c, community "tundra", time-out 10 s and
// one retry, non-repeaters 1, max-repetitions 100, one binding), with
// nothing stored. One session per pass, opened and closed like the plug-in
// does. Given a v3 security (the plug-in's own settings for it), the
// sessions speak v3 instead: the first opens as net-snmp's tools open one,
// probing the engine, and the later ones reuse the engine it found, as the
// plug-in does.
#pragma once

#include <memory>
#include <string>

#include "driver/v3/session_security.h"

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
  explicit BareWalker(const std::string& peer,
                      std::shared_ptr<const pdu::SessionSecurity> security = nullptr);
  BareWalker(const BareWalker&) = delete;
  BareWalker& operator=(const BareWalker&) = delete;

  // One walk of the table; returns the number of requests sent, negated when
  // the session could not be opened or a request failed.
  int Pass();

 private:
  static constexpr char kCommunity[] = "tundra";

  char community_[sizeof kCommunity] = {};
  std::string peer_;
  std::shared_ptr<const pdu::SessionSecurity> security_;
  std::string engine_id_;  // of a v3 PDU, once the first session found it
  netsnmp_session settings_{};
};

}  // namespace bench
