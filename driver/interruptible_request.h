// One SNMP request whose wait another thread can cut short.
//
// SendAndWait is the loop net-snmp runs inside snmp_sess_synch_response,
// driven from here: send asynchronously, wait on the session's descriptors,
// then read the answer or let the library handle the time-out (resend, or
// give up once the retries are spent). The datagrams, the session's time-out
// and retries and the resulting statuses are the library's own. The wait also
// watches `wake_fd`: once it is readable, the request is abandoned.
//
// The wait is poll, not select as in the library: it takes descriptors of
// any number, where a select emulation (qemu-user's, for one) may not.
//
// An abandoned request stays with the session until snmp_sess_close frees it
// and reports it to its RequestState one last time, so the RequestState must
// outlive the session.
#pragma once

#include "driver/netsnmp.h"

namespace pdu {

// Status of a request abandoned because `wake_fd` became readable.
inline constexpr int kStatStopped = -1;

// What the session reports about the request in flight.
struct RequestState {
  bool waiting = false;
  int status = STAT_SUCCESS;
  netsnmp_pdu* response = nullptr;  // a copy, the caller's to free
};

// Sends `request` on the single session `session` (the library takes it
// over, whatever the outcome) and waits. Returns STAT_SUCCESS with *response
// set, STAT_TIMEOUT once the time-out and retries have run out, STAT_ERROR,
// or kStatStopped when `wake_fd` (-1 for none) was readable first.
int SendAndWait(void* session, netsnmp_pdu* request, netsnmp_pdu** response, int wake_fd,
                RequestState& state);

}  // namespace pdu
