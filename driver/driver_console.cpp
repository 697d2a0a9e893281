#include "driver/driver_console.h"

#include <iostream>

#include "device/console_line.h"

namespace pdu {

void TracePassStart() { WriteConsoleLine(std::cout, "SNMP_VARNO_PDU::do_sample"); }

void ReportNoAnswer(const std::string& peer) {
  // As printf's %s would: up to a NUL the name may hold.
  WriteConsoleLine(std::cerr, "Timeout: No Response from " + std::string(peer.c_str()));
}

void ReportRequestFailed(RequestStatus status) {
  WriteConsoleLine(std::cout, "snmp get error " + std::to_string(static_cast<int>(status)));
}

void ReportForDevice(unsigned int data_id, const std::string& peer, const std::string& text) {
  WriteConsoleLine(std::cerr,
                   "SNMP_VARNO_PDU: device " + std::to_string(data_id) + " (" + peer + ")" + text);
}

}  // namespace pdu
