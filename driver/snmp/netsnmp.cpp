#include "driver/snmp/netsnmp.h"

namespace pdu {

Mutex& NetSnmpMutex() {
  // Leaked on purpose: securities destroyed while the process ends take it.
  static auto* mutex = new Mutex;
  return *mutex;
}

}  // namespace pdu
