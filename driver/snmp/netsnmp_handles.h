// Owners of net-snmp's handles, each freed in one place.
//
// SessionHandle holds a single session (snmp_sess_*) and closes it under
// NetSnmpMutex(), as closing touches process-wide state. PduHandle holds a
// PDU the caller owns. The library takes a request over when it is sent,
// so a request is released to it there, whatever the outcome.
#pragma once

#include <memory>

#include "driver/snmp/netsnmp.h"

namespace pdu {

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
