// What an SNMP v3 report from a PDU means, in words a field engineer acts
// on. A PDU answers a request it refuses with a report naming one of its
// USM counters (usmStatsUnknownUserNames, ...); net-snmp gives the counter
// as a report type (snmpv3_get_report_type).
#pragma once

#include <string>

#include "driver/v3/snmp_credentials.h"

namespace pdu {

// The reason for a report of type `report` (SNMPERR_UNKNOWN_USER_NAME, ...)
// to a request of `user` at `level`, saying what to check; the counter's
// name ends it. Types that are no refusal get a general text.
std::string RefusalReason(int report, const std::string& user, SecurityLevel level);

}  // namespace pdu
