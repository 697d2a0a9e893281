// pdu-host's exit statuses, the same for every mode: 0 when all went as
// asked, 1 when something fell short (a device, a PDU, a finding, a file
// not written), 2 for bad input found before anything was run, 130 when
// Ctrl-C or SIGTERM ended the run early (interruption.h).
#pragma once

namespace pdu_host {

inline constexpr int kExitOk = 0;
inline constexpr int kExitShortfall = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitInterrupted = 130;

}  // namespace pdu_host
