// pdu-host --version: pdu-host's own version and that of the plug-in it
// would load (the file at `plugin_path`, or the one beside pdu-host when it
// is empty), read from the file without loading it.
//
// Prints "pdu-host VERSION" and "plug-in VERSION (PATH)" on standard output
// and returns 0 when the two are the same. When they differ, or the plug-in's
// version cannot be read, a line on standard error says so and what to do,
// and it returns 1.
#pragma once

#include <string>

namespace pdu_host {

// This program's version (the project's VERSION file).
const char* HostVersion();

int ReportVersions(const std::string& plugin_path);

}  // namespace pdu_host
