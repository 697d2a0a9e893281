// The parts of net-snmp the driver uses, and the one lock around them.
//
// net-snmp is built without its reentrant option: opening and closing a
// session touch process-wide state without locks, so every device serialises
// those calls (and the library's error reporting) through NetSnmpMutex().
// Requests themselves run on single sessions (snmp_sess_*), which keep no
// shared list and can run on several threads at once.
#pragma once

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

}  // namespace pdu
