#include "driver/v3/v3_refusal.h"

#include <string>

#include "driver/snmp/netsnmp.h"

namespace pdu {

std::string RefusalReason(int report, const std::string& user, SecurityLevel level) {
  const std::string level_name = LevelName(level);
  switch (report) {
    case SNMPERR_UNKNOWN_USER_NAME:
      return "unknown user: the PDU has no SNMP v3 user " + user +
             ": create it on the PDU, or correct security_name (usmStatsUnknownUserNames)";
    case SNMPERR_AUTHENTICATION_FAILURE:
      return "authentication failed: the auth passphrase or protocol of user " + user +
             " is not the PDU's: correct auth_passphrase or auth_protocol (usmStatsWrongDigests)";
    case SNMPERR_DECRYPTION_ERR:
      return "decryption failed: the privacy passphrase or protocol of user " + user +
             " is not the PDU's: correct priv_passphrase or priv_protocol "
             "(usmStatsDecryptionErrors)";
    case SNMPERR_UNSUPPORTED_SEC_LEVEL:
      return "security level refused: the PDU does not let user " + user + " in at " + level_name +
             ": set security_level to what the PDU allows that user, or change "
             "the user on the PDU (usmStatsUnsupportedSecLevels)";
    case SNMPERR_UNKNOWN_ENG_ID:
      return "unknown engine: the PDU no longer has the engine ID it had (replaced or reset): "
             "its engine is discovered again on the next pass (usmStatsUnknownEngineIDs)";
    case SNMPERR_NOT_IN_TIME_WINDOW:
      return "out of time: the PDU kept answering that the request's boot count and time are "
             "not its own, though they were taken from its reports: check that it does not "
             "reboot over and over (usmStatsNotInTimeWindows)";
    default:
      return std::string("the PDU answered with a report (") + snmp_api_errstring(report) +
             ") instead of a response";
  }
}

}  // namespace pdu
