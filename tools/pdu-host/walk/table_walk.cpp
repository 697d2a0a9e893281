#include "walk/table_walk.h"

#include <cstddef>
#include <string>
#include <utility>

#include "driver/walk/walk_settings.h"
#include "walk/walk_engine.h"

namespace pdu_host {

TableWalk WalkTable(const DeviceEntry& entry) {
  TableWalk walk;
  WalkEvents events;
  events.ended = [&walk](std::size_t, TableWalk&& ended, double) { walk = std::move(ended); };
  WalkTables({&entry}, 1, events);
  return walk;
}

long RequestsSent(const TableWalk& walk) { return walk.requests + walk.discovery_requests; }

std::string WalkSummary(const TableWalk& walk) {
  const long sent = RequestsSent(walk);
  return walk.end + "; " + std::to_string(sent) + (sent == 1 ? " request" : " requests");
}

std::string AskedWith(const TableWalk& walk) {
  static const pdu::SessionSecurity plain;
  return (walk.security ? *walk.security : plain).Description();
}

std::string NoAnswerAdvice(const pdu::SessionSecurity& security) {
  static_assert(pdu::kRetries == 1 && pdu::kTimeoutMicroseconds % 1'000'000 == 0);
  std::string advice = "no answer to " + security.Description() + ", within " +
                       std::to_string(pdu::kTimeoutMicroseconds / 1'000'000) +
                       " s and one retry: the PDU is off or unreachable, nothing listens on that "
                       "port, ";
  if (security.v3()) {
    // A PDU that cannot decrypt a request cannot read it either, and
    // may say nothing.
    if (security.level() == pdu::SecurityLevel::kAuthPriv) {
      advice += "the priv passphrase or protocol of user " + security.user() +
                " is not the PDU's (a wrong user or auth passphrase would be refused at once), ";
    }
    return advice + "or it does not speak SNMP v3";
  }
  const std::string community = security.default_community()
                                    ? std::string("\"") + pdu::kDefaultCommunity + "\""
                                    : "the configured one";
  return advice + "or its community is not " + community + " (a wrong community looks the same)";
}

std::string NoAnswerAdvice(const TableWalk& walk) {
  static const pdu::SessionSecurity plain;
  return NoAnswerAdvice(walk.security ? *walk.security : plain);
}

}  // namespace pdu_host
