// How the simulated PDU's data file (sim/pdu_backend.py, one object a line:
// "<column>.<row> <type> <value>") holds a value an agent served.
#pragma once

#include <optional>
#include <string>

#include "driver/snmp/netsnmp.h"

namespace pdu_host {

// "<type> <value>" that makes the simulator serve `binding`'s value so that
// net-snmp receives it back unchanged: the same type and value, so the same
// snmpbulkwalk output and the same record field. None when the simulator
// cannot serve it (NULL, BITS, an exception value, an oversized string...).
std::optional<std::string> DataFileEntry(const netsnmp_variable_list& binding);

}  // namespace pdu_host
