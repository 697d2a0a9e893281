#include "driver/netsnmp.h"

namespace pdu {

std::mutex& NetSnmpMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace pdu
