#include "driver/snmp/session_open.h"

#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "driver/snmp/peer_transport.h"
#include "driver/waiting/abandonable_call.h"

namespace pdu {

OpenedSession OpenSession(netsnmp_session& settings, WakeWatch& wake, const char* label) {
  settings.s_snmp_errno = 0;
  settings.s_errno = 0;
  std::string target;
  {
    const MutexLock lock(NetSnmpMutex());
    target = PeerTarget(settings.peername);
  }

  struct Made {
    netsnmp_transport* transport = nullptr;
    int error = 0;
  };
  const auto made = std::make_shared<Made>();
  const int local_port = settings.local_port;
  // A numeric address is made on this thread: no thread is worth it.
  WakeWatch no_wait;
  const bool finished = RunAbandonable(
      [made, target, local_port] {
        made->transport = CreateTransport(target, local_port);
        made->error = errno;
      },
      [made] {
        const MutexLock lock(NetSnmpMutex());
        DiscardTransport(made->transport);
      },
      IsNumericTarget(target) ? no_wait : wake);
  if (!finished) return {nullptr, true};

  const MutexLock lock(NetSnmpMutex());
  SessionHandle session;
  if (made->transport == nullptr) {
    // What snmp_sess_open records for a peer it cannot use.
    settings.s_snmp_errno = SNMPERR_BAD_ADDRESS;
    settings.s_errno = made->error;
    snmp_set_detail(settings.peername);
  } else {
    session.reset(snmp_sess_add(&settings, made->transport, nullptr, nullptr));
  }
  if (session == nullptr) {
    SET_SNMP_ERROR(settings.s_snmp_errno);
    snmp_sess_perror(label, &settings);
  }
  return {std::move(session), false};
}

}  // namespace pdu
