// The SNMP session pdu-host opens to walk one device's table (--survey,
// --explain, --record): the plug-in's walk settings (driver/walk_settings.h:
// SNMP v2c, its community, time-out and retry) and the device's address as
// the peer. Every walk takes its session from here, so settings of the
// device's own belong here and nowhere else.
#pragma once

#include "driver/netsnmp.h"
#include "host_config.h"

namespace pdu_host {

// Initialises `settings` and fills it for `entry`. The peer name points into
// entry.address, which must outlive the session's opening (net-snmp copies
// what it keeps).
void FillWalkSession(const DeviceEntry& entry, netsnmp_session& settings);

}  // namespace pdu_host
