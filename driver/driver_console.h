// Every console line the driver writes, written here, each whole, ended and
// flushed (device/console_line.h).
//
// The trace and failure texts keep their fixed bytes and streams. The
// driver's own lines go to standard error and begin
// "SNMP_VARNO_PDU: device N (ADDRESS) ", so that whoever reads a site's log
// knows which device, and which PDU, each is about.
#pragma once

#include <string>

#include "driver/snmp/interruptible_request.h"

namespace pdu {

// "SNMP_VARNO_PDU::do_sample" on standard output: a pass begins.
void TracePassStart();
// "Timeout: No Response from PEER" on standard error.
void ReportNoAnswer(const std::string& peer);
// "snmp get error N" on standard output, N net-snmp's status number.
void ReportRequestFailed(RequestStatus status);
// "SNMP_VARNO_PDU: device ID (PEER)" and `text` on standard error; `text`
// brings its own separator (" refused by ...", ": its ...").
void ReportForDevice(unsigned int data_id, const std::string& peer, const std::string& text);

}  // namespace pdu
