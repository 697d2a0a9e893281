// Every console line the driver writes, written here, each whole, ended and
// flushed (device/console_line.h). The trace and failure texts keep their
// fixed bytes and streams; the driver's own lines go to standard error and
// begin "SNMP_VARNO_PDU: device N (ADDRESS)", naming device and PDU.
#pragma once

#include <iostream>
#include <string>

#include "device/console_line.h"
#include "driver/snmp/interruptible_request.h"

namespace pdu {

// A pass begins.
inline void TracePassStart() { WriteConsoleLine(std::cout, "SNMP_VARNO_PDU::do_sample"); }

// As printf's %s would print the peer: up to a NUL the name may hold.
inline void ReportNoAnswer(const std::string& peer) {
  WriteConsoleLine(std::cerr, "Timeout: No Response from " + std::string(peer.c_str()));
}

// N is net-snmp's status number.
inline void ReportRequestFailed(RequestStatus status) {
  WriteConsoleLine(std::cout, "snmp get error " + std::to_string(static_cast<int>(status)));
}

// `text` brings its own separator (" refused by ...", ": its ...").
inline void ReportForDevice(unsigned int data_id, const std::string& peer,
                            const std::string& text) {
  WriteConsoleLine(std::cerr,
                   "SNMP_VARNO_PDU: device " + std::to_string(data_id) + " (" + peer + ")" + text);
}

}  // namespace pdu
