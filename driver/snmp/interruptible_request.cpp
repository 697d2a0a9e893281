#include "driver/snmp/interruptible_request.h"

#include <net-snmp/library/large_fd_set.h>
#include <poll.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <utility>

#include <boost/container/small_vector.hpp>

#include "driver/v3/usm_state.h"

namespace pdu {
namespace {

// The callback of the request: keeps a copy of a response, or the reason
// there is none, and is then "handled", so the library forgets the request.
// Reports for another request of the session (an abandoned one, answered
// late or timed out) are handled by ignoring them. The notices that the
// request was sent again, or could not be sent again, end nothing: the
// library goes on as in its synchronous call.
int OnRequestDone(int operation, netsnmp_session*, int request_id, netsnmp_pdu* pdu, void* magic) {
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_SEND_FAILED) {
    return 1;
  }
  RequestState& state = *static_cast<RequestState*>(magic);
  const bool v3_report =
      pdu != nullptr && pdu->command == SNMP_MSG_REPORT && pdu->version == SNMP_VERSION_3;
  if (!state.waiting || (request_id != state.request_id && !v3_report)) return 1;
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && v3_report &&
      snmpv3_get_report_type(pdu) == SNMPERR_NOT_IN_TIME_WINDOW) {
    return 1;  // sent again with the boots and time the report brought
  }
  state.waiting = false;
  state.response.reset();
  if (v3_report) {
    state.status = RequestStatus::kError;
    state.report = snmpv3_get_report_type(pdu);
  } else if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu != nullptr &&
             pdu->command == SNMP_MSG_RESPONSE) {
    state.response.reset(snmp_clone_pdu(pdu));
    state.status = RequestStatus::kSuccess;
  } else if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT) {
    state.status = RequestStatus::kTimeout;
  } else {
    state.status = RequestStatus::kError;
  }
  return 1;
}

// poll's time-out for a select time-out, rounded up so that the wait never
// ends before the library's timer is due.
int PollMilliseconds(const timeval& timeout) {
  const long long milliseconds =
      static_cast<long long>(timeout.tv_sec) * 1000 + (timeout.tv_usec + 999) / 1000;
  return static_cast<int>(std::min<long long>(milliseconds, INT_MAX));
}

// A session descriptor poll found closed is no longer the session's: its
// number may be someone else's by the time the session is closed.
void ForgetClosedDescriptor(void* session, int fd) {
  netsnmp_transport* transport = snmp_sess_transport(session);
  if (transport != nullptr && transport->sock == fd) transport->sock = -1;
}

// Owns a large descriptor set for one call.
class FdSet {
 public:
  FdSet() { netsnmp_large_fd_set_init(&set_, FD_SETSIZE); }
  ~FdSet() { netsnmp_large_fd_set_cleanup(&set_); }
  FdSet(const FdSet&) = delete;
  FdSet& operator=(const FdSet&) = delete;
  netsnmp_large_fd_set* get() { return &set_; }

 private:
  netsnmp_large_fd_set set_;
};

}  // namespace

RequestStatus SendAndWait(void* session, PduHandle request, PduHandle* response, WakeWatch& wake,
                          RequestState& state, const SessionSecurity* security) {
  response->reset();
  state = RequestState{};
  // Library calls as the session needs (usm_state.h's OnSession); a v3
  // session without its security still under NetSnmpMutex().
  const netsnmp_session* settings = snmp_sess_session(session);
  const bool v3 = settings != nullptr && settings->version == SNMP_VERSION_3;
  const auto library = [&](auto call) {
    if (security != nullptr) return OnSession(session, *security, call);
    if (!v3) return call();
    const MutexLock hold(NetSnmpMutex());
    return call();
  };
  const int request_id =
      library([&] { return snmp_sess_async_send(session, request.get(), &OnRequestDone, &state); });
  if (request_id == 0) return RequestStatus::kError;  // still ours: freed here
  request.release();                                  // the library's now
  state.request_id = request_id;
  state.waiting = true;

  FdSet fds;
  // A session has one descriptor, and the wait watches one more.
  boost::container::small_vector<pollfd, 4> waits;
  while (state.waiting) {
    int numfds = 0;
    int block = 1;
    timeval timeout{};
    NETSNMP_LARGE_FD_ZERO(fds.get());
    snmp_sess_select_info2_flags(session, &numfds, fds.get(), &timeout, &block,
                                 NETSNMP_SELECT_NOALARMS);
    // Without a time-out to wait for, the library holds no request of ours.
    if (block) return RequestStatus::kError;
    // A single session's set holds its transport's descriptor alone, the
    // highest the set counts: none below it is looked at, however many
    // descriptors the host holds.
    waits.clear();
    const int session_fd = numfds - 1;
    if (session_fd >= 0 && NETSNMP_LARGE_FD_ISSET(session_fd, fds.get())) {
      waits.push_back({session_fd, POLLIN, 0});
    }
    const std::size_t session_fds = waits.size();
    if (wake.fd >= 0) waits.push_back({wake.fd, POLLIN, 0});
    const int ready = poll(waits.data(), waits.size(), PollMilliseconds(timeout));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return RequestStatus::kError;  // the request stays with the session until it is closed
    }
    if (ready == 0) {
      library([&] { snmp_sess_timeout(session); });
      continue;
    }
    if (waits.size() > session_fds && wake.Stopped(waits.back().revents)) {
      return RequestStatus::kStopped;
    }
    NETSNMP_LARGE_FD_ZERO(fds.get());
    bool readable = false;
    for (std::size_t i = 0; i < session_fds; ++i) {
      if ((waits[i].revents & POLLNVAL) != 0) {
        ForgetClosedDescriptor(session, waits[i].fd);
        return RequestStatus::kError;
      }
      if (waits[i].revents != 0) {
        NETSNMP_LARGE_FD_SET(waits[i].fd, fds.get());
        readable = true;
      }
    }
    if (readable) library([&] { snmp_sess_read2(session, fds.get()); });
  }
  *response = std::move(state.response);
  return state.status;
}

}  // namespace pdu
