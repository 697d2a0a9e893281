#include "common/complain.h"

#include <string>

#include "common/console_output.h"

namespace pdu_host {

void Complain(const std::string& message) { WriteErr("pdu-host: " + message + "\n"); }

}  // namespace pdu_host
