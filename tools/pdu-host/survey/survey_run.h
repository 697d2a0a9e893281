// pdu-host --survey: walks every configured PDU's table once, the way the
// plug-in walks it, all of them at once (walk_engine.h: one thread, so a
// site with many dead PDUs takes about one time-out), and prints the
// verdict on each (survey_report.h), or with --json the same as one JSON
// document (survey_json.h), each PDU's line printed as soon as it is judged
// unless standard output is a terminal (survey_output.h). On a terminal a
// progress line says how far it has got meanwhile (survey_progress.h). The
// plug-in is not loaded. A device without an address is not walked.
//
// Ctrl-C or SIGTERM (interruption.h) ends the walks under way: the PDUs not
// yet judged are printed as interrupted, with the summary, and the survey
// returns kExitInterrupted.
//
// Each walk holds a socket: the soft limit on descriptors is raised to the
// hard one first, and a site larger than that allows is walked in waves, a
// new walk starting as one ends, which a line on standard error says.
#pragma once

#include <vector>

#include "configuration/host_config.h"

namespace pdu_host {

// 0 when every PDU is ok, 1 otherwise, kExitInterrupted when interrupted.
int RunSurvey(const std::vector<DeviceEntry>& entries, bool json);

}  // namespace pdu_host
