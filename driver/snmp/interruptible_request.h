// One SNMP request whose wait another thread can cut short.
//
// SendAndWait is the loop net-snmp runs inside snmp_sess_synch_response,
// driven from here: send asynchronously, wait on the session's descriptors,
// then read the answer or let the library handle the time-out (resend, or
// give up once the retries are spent). The datagrams, the session's time-out
// and retries and the resulting statuses are the library's own, and so is
// where the loop ends: a session descriptor that is no longer open, and any
// failure of the wait other than an interruption, end it with STAT_ERROR, as
// the library's select fails with EBADF there. A descriptor in error or hung
// up is handed to the library's read, as select reports it readable. Only an
// answer carrying this request's id completes it, or an SNMP v3 report
// (which net-snmp matched by message id; a PDU that cannot read a request
// cannot copy its id): a report is STAT_ERROR with its type kept, except
// notInTimeWindow, after which the library sends the request again with the
// PDU's boots and time, and the wait goes on, as in the library's call.
//
// A v3 session's messages are built and read with net-snmp's process-wide
// user and engine-time lists, so for v3 the library's send, read and
// time-out handling run under NetSnmpMutex(), with the session's own engine
// state and user entry lent to the library (usm_state.h); none of them waits.
//
// The wait also watches a wake-up descriptor (wake_event.h): once it signals
// a stop, the request is abandoned. A wake-up descriptor that is no longer
// ours is dropped from the wait, which goes on.
//
// The wait is poll, not select as in the library: it takes descriptors of
// any number, where a select emulation (qemu-user's, for one) may not.
//
// An abandoned request stays with the session until snmp_sess_close frees it
// and reports it to its RequestState one last time, so the RequestState must
// outlive the session.
#pragma once

#include "driver/snmp/netsnmp.h"
#include "driver/v3/session_security.h"
#include "driver/waiting/wake_event.h"

namespace pdu {

// How a request ended. The first three are net-snmp's STAT_* values, so a
// status printed as a number reads as the library's.
enum class RequestStatus {
  kSuccess = STAT_SUCCESS,  // answered; the response is set
  kError = STAT_ERROR,      // not sent, a failed wait, or a v3 report
  kTimeout = STAT_TIMEOUT,  // no answer within the time-out and retries
  kStopped = -1,            // abandoned: the wake-up descriptor signalled a stop
};

// What the session reports about the request in flight.
struct RequestState {
  bool waiting = false;
  int request_id = 0;  // the request in flight; others' reports are ignored
  RequestStatus status = RequestStatus::kSuccess;
  int report = 0;      // the report type (SNMPERR_...) of a v3 report
  PduHandle response;  // a copy of the answer
};

// Sends `request` on the single session `session` (the library takes it
// over, whatever the outcome) and waits. Returns kSuccess with *response
// set, kTimeout once the time-out and retries have run out, kError, or
// kStopped when `wake` signalled a stop first. `wake` may come back dropped
// (lost set). `security` is what the session was made with; it may be null
// for a v2c session.
RequestStatus SendAndWait(void* session, PduHandle request, PduHandle* response, WakeWatch& wake,
                          RequestState& state, const SessionSecurity* security = nullptr);

}  // namespace pdu
