#include "table_walk.h"

#include <cstddef>
#include <string>
#include <utility>

#include "driver/walk_settings.h"
#include "walk_engine.h"

namespace pdu_host {

TableWalk WalkTable(const DeviceEntry& entry) {
  TableWalk walk;
  WalkEvents events;
  events.ended = [&walk](std::size_t, TableWalk&& ended, double) { walk = std::move(ended); };
  WalkTables({&entry}, 1, events);
  return walk;
}

std::string WalkSummary(const TableWalk& walk) {
  return walk.end + "; " + std::to_string(walk.requests) +
         (walk.requests == 1 ? " request" : " requests");
}

std::string NoAnswerAdvice() {
  static_assert(pdu::kRetries == 1 && pdu::kTimeoutMicroseconds % 1'000'000 == 0);
  netsnmp_session settings{};
  pdu::ApplyWalkSession(settings);
  const std::string community(reinterpret_cast<const char*>(settings.community),
                              settings.community_len);
  return "no answer to SNMP v2c, community \"" + community + "\", within " +
         std::to_string(pdu::kTimeoutMicroseconds / 1'000'000) +
         " s and one retry: the PDU is off or unreachable, nothing listens on that port, or its "
         "community is not \"" +
         community + "\" (a wrong community looks the same)";
}

}  // namespace pdu_host
