// A survey state the device's own configuration most likely caused: an
// appSetting member the plug-in does not read whose spelling is near a
// credential member's (auth_passphrse for auth_passphrase) means the PDU was
// asked with other credentials, or less security, than meant, so an empty
// table, a refusal or silence says more about the configuration than about
// the PDU.
#pragma once

#include <optional>
#include <string>

#include "configuration/host_config.h"
#include "verdict/walk_verdict.h"

namespace pdu_host {

// For a PDU in `state` (one the PDU answered or kept silent in: not ok,
// cannot open or interrupted): what in `entry` most likely caused it and
// what to do, to put before the walk's own problem; none otherwise.
std::optional<std::string> ConfigurationCause(const DeviceEntry& entry, SurveyState state);

}  // namespace pdu_host
