// SIGINT (Ctrl-C) and SIGTERM during a survey or an ordinary run: instead of
// ending the process at once, the run finishes its output with what it knows
// (the PDUs judged, the records published, the run summary, --cache-out) and
// exits kExitInterrupted (exit_status.h).
//
// The handler only records the signal and writes one byte to a pipe whose
// read end stays readable from then on: a poll() that watches WakeFd() ends
// at once, and a bounded wait that asks Interrupted() ends within its slice.
// It is installed for one signal each (SA_RESETHAND): a second Ctrl-C ends
// the process as it always did, for a run that is slow to finish.
#pragma once

namespace pdu_host {

// Installs the handler for SIGINT and SIGTERM; once per process, later calls
// do nothing. Throws std::system_error when the pipe cannot be made.
void CatchInterrupts();

// The signal that interrupted the run; 0 while none has.
int Interrupted();

// Readable once the run is interrupted; -1 before CatchInterrupts().
int InterruptWakeFd();

// "SIGINT", "SIGTERM".
const char* InterruptName(int signal);

}  // namespace pdu_host
