// The SNMP session pdu-host opens to walk one device's table (--survey,
// --explain, --record) or to ask it for its names: the plug-in's walk
// settings (driver/walk/walk_settings.h: time-out and retry), the device's
// credentials as the plug-in reads them from its appSetting
// (driver/v3/session_security.h), and its address as the peer. Every walk takes
// its session from here, so settings of the device's own belong here and
// nowhere else.
#pragma once

#include <memory>

#include "configuration/host_config.h"
#include "driver/snmp/netsnmp.h"
#include "driver/v3/session_security.h"

namespace pdu_host {

// The security of `entry`'s sessions. Devices with the same credentials
// share one: its keys are derived once in the process, as deriving one hashes
// about a megabyte. When problem() is set the device cannot be walked, and
// the problem says why, naming the member.
std::shared_ptr<const pdu::SessionSecurity> WalkSecurity(const DeviceEntry& entry);

// Initialises `settings` and fills it for `entry` with `security`; for SNMP
// v3, readies net-snmp for v3 sessions first (driver/v3/usm_state.h). The
// settings point into `entry` and `security`, which must outlive the
// session's opening (net-snmp copies what it keeps). A session is opened
// from them only when the security has no problem.
void FillWalkSession(const DeviceEntry& entry, const pdu::SessionSecurity& security,
                     netsnmp_session& settings);

}  // namespace pdu_host
