// A device's address as pdu-host shows it in a line a person reads: with the
// port net-snmp will use written out ("192.0.2.10" shows as
// "192.0.2.10:161"), and in quotes when it is empty or holds white space, so
// that a trailing blank is seen.
#pragma once

#include <string>

namespace pdu_host {

std::string ShownAddress(const std::string& address);

}  // namespace pdu_host
