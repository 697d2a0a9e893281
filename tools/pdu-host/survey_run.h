// pdu-host --survey: walks every configured PDU's table once, the way the
// plug-in walks it (table_walk.h), all of them side by side (at most
// kWalksAtOnce at once, so a site with several dead PDUs takes about one
// time-out), and prints the verdict on each (survey_report.h). The plug-in
// is not loaded. A device without an address is not walked.
#pragma once

#include <cstddef>
#include <vector>

#include "host_config.h"

namespace pdu_host {

inline constexpr std::size_t kWalksAtOnce = 32;

// 0 when every PDU is ok, 1 otherwise.
int RunSurvey(const std::vector<DeviceEntry>& entries);

}  // namespace pdu_host
