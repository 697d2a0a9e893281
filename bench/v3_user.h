// pdu-bench's SNMP v3 user: SHA-256 authentication and AES privacy
// (authPriv), which the timed agent is started with and the v3 devices are
// configured with.
#pragma once

#include <string>

#include <json/value.h>

namespace bench {

// The line of sim/pdu_agent.py's --v3-users file for the user.
std::string V3UsersLine();

// appSetting credential members of a device polling as the user.
Json::Value V3AppSetting();
// A device configuration holding only those.
Json::Value V3Config();

}  // namespace bench
