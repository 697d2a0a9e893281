// pdu-host's own messages: one line on standard error, "pdu-host: MESSAGE",
// written whole after whatever standard output holds so far.
#pragma once

#include <string>

namespace pdu_host {

void Complain(const std::string& message);

}  // namespace pdu_host
