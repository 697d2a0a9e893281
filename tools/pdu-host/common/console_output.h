// pdu-host's own output: reports on standard output, messages on standard
// error. Each piece is written whole, under one lock, so no other thread's
// output comes between its lines. While the plug-in's console is captured
// (console_capture.h), descriptors 1 and 2 are the capture's pipes and
// pdu-host's own output goes where they pointed before.
#pragma once

#include <string>

namespace pdu_host {

void WriteOut(const std::string& text);
void WriteErr(const std::string& text);

// Where WriteOut and WriteErr write from now on (1 and 2 when not capturing).
void SetOwnDescriptors(int out, int err);

// Where WriteErr writes now; async-signal-safe.
int OwnErrorDescriptor();

}  // namespace pdu_host
