#include "walk_session.h"

#include "driver/walk_settings.h"

namespace pdu_host {

void FillWalkSession(const DeviceEntry& entry, netsnmp_session& settings) {
  snmp_sess_init(&settings);
  pdu::ApplyWalkSession(settings);
  // net-snmp reads the peer name and copies it; it never writes it.
  settings.peername = const_cast<char*>(entry.address.c_str());
}

}  // namespace pdu_host
