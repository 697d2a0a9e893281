// The error status a PDU's walk stopped at, named in the run summary. The
// plug-in's line says only "ended: response with an error status", so after
// the run each device whose last problem that was has its table walked once
// more, all of them at once (walk_engine.h), and the summary names the
// status that walk ended at, as net-snmp names it (noSuchName, genErr, ...),
// or how it ended instead.
#pragma once

#include <vector>

#include "configuration/host_config.h"
#include "run_as_host/run_summary.h"

namespace pdu_host {

void NameErrorStatuses(const std::vector<DeviceEntry>& entries, RunLedger& ledger);

}  // namespace pdu_host
