#include "driver/snmp/netsnmp.h"

namespace pdu {

std::mutex& NetSnmpMutex() {
  // Leaked on purpose: securities destroyed while the process ends take it.
  static auto* mutex = new std::mutex;
  return *mutex;
}

}  // namespace pdu
