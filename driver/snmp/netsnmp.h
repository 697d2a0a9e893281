// The parts of net-snmp the driver uses, the one lock around them, and
// owners of its handles.
//
// net-snmp is built without its reentrant option: opening and closing a
// session touch process-wide state without locks, so every device serialises
// those calls (and the library's error reporting) through NetSnmpMutex().
// Requests themselves run on single sessions (snmp_sess_*), which keep no
// shared list and can run on several threads at once.
//
// SessionHandle closes a single session under NetSnmpMutex(); PduHandle
// frees a PDU. The library takes a request over as it is sent: it is
// released to it there.
#pragma once

#include <memory>

#include "device/thread_safety.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

// net-snmp's structures follow its configured type sizes; headers generated
// for another architecture would silently break every call.
static_assert(SIZEOF_LONG == sizeof(long), "net-snmp headers of another architecture");

namespace pdu {

Mutex& NetSnmpMutex();

struct SessionCloser {
  void operator()(void* session) const {
    const MutexLock lock(NetSnmpMutex());
    snmp_sess_close(session);
  }
};
using SessionHandle = std::unique_ptr<void, SessionCloser>;

struct PduFreer {
  void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduHandle = std::unique_ptr<netsnmp_pdu, PduFreer>;

}  // namespace pdu
