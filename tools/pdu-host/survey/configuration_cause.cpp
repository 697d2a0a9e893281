#include "survey/configuration_cause.h"

#include <optional>
#include <string>
#include <vector>

#include "configuration/nearest_name.h"
#include "device/config_member.h"
#include "driver/v3/snmp_credentials.h"

namespace pdu_host {

std::optional<std::string> ConfigurationCause(const DeviceEntry& entry, SurveyState state) {
  if (state == SurveyState::kOk || state == SurveyState::kCannotOpen ||
      state == SurveyState::kInterrupted) {
    return std::nullopt;
  }
  const Json::Value* app = config_member::PresentObject(entry.config, "appSetting");
  if (app == nullptr) return std::nullopt;
  const std::vector<std::string>& credentials = pdu::CredentialMembers();
  for (const std::string& name : app->getMemberNames()) {
    if (name == "b_mode" || name == "use_thread") continue;
    bool known = false;
    for (const std::string& credential : credentials) known = known || name == credential;
    if (known) continue;
    if (const std::optional<std::string> meant = NearestName(name, credentials)) {
      return "caused by the configuration, most likely: appSetting." + name +
             " is not a member the plug-in reads (did you mean " + *meant +
             "?), so the PDU was asked without it; correct the configuration (pdu-host --check) "
             "before the PDU. The walk: ";
    }
  }
  return std::nullopt;
}

}  // namespace pdu_host
