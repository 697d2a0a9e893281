// Descriptors 0, 1 and 2 that the process was started without (by cron, or
// a script's `>&-`) are opened on /dev/null, so that no pipe, socket or file
// opened later takes their number and is then read or written as standard
// input, output or error. The console capture's pipes would otherwise land
// there and be overwritten by its own redirection.
#pragma once

namespace pdu_host {

// Call first, before anything opens a descriptor.
void OpenClosedStandardDescriptors();

}  // namespace pdu_host
