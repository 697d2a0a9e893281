// The version a plug-in file carries in its "snmp_varno_pdu" ELF note
// (driver/version_note.cpp), read from the file without loading it.
//
// ReadPluginVersion checks that PATH is an ELF file (32- or 64-bit, either
// byte order), walks its note segments and returns the text of the note
// owned by "snmp_varno_pdu" with type 1. Every offset and size is checked
// against the file before it is used. It throws PluginVersionError, with a
// message naming the file and what is wrong, when the file cannot be read,
// is not an ELF file, has headers pointing outside it, or carries no such
// note (a plug-in built before versions were recorded, or another file).
#pragma once

#include <stdexcept>
#include <string>

namespace pdu_host {

class PluginVersionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string ReadPluginVersion(const std::string& path);

}  // namespace pdu_host
