// SIGINT (Ctrl-C) and SIGTERM during a survey or an ordinary run: instead of
// ending the process at once, the run finishes its output with what it knows
// (the PDUs judged, the records published, the run summary, --cache-out) and
// exits kExitInterrupted (exit_status.h).
//
// The handler writes one line at once, "pdu-host: SIGINT: " and what the
// run is finishing, to pdu-host's own standard error (console_output.h),
// records the signal and writes one byte to a pipe whose read end stays
// readable from then on: a poll() that watches InterruptWakeFd() ends at
// once, and a bounded wait that asks Interrupted() ends within its slice. A
// second SIGINT or SIGTERM ends the process at once, with a line saying so
// and exit status kExitInterrupted, for a run that is slow to finish.
#pragma once

#include <string>

namespace pdu_host {

// Installs the handler for SIGINT and SIGTERM, with `finishing` (what the
// run does once interrupted, e.g. "ending the walks under way; ...") for
// its line; once per process, later calls only change the words. Throws
// std::system_error when the pipe cannot be made.
void CatchInterrupts(const std::string& finishing);

// The signal that interrupted the run; 0 while none has.
int Interrupted();

// Readable once the run is interrupted; -1 before CatchInterrupts().
int InterruptWakeFd();

// "SIGINT", "SIGTERM".
const char* InterruptName(int signal);

}  // namespace pdu_host
