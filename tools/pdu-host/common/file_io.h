// Whole-file reads and writes for pdu-host, with messages that name the file
// and the system's reason.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace pdu_host {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file's bytes. Throws FileError when it cannot be opened or read (a
// folder included) or holds more than `max_bytes`; `what` names the file's
// role in the message ("config file", "cache file").
std::string ReadWholeFile(const std::string& path, std::size_t max_bytes, const std::string& what);

// Throws FileError when `path` could not be written later: checked before
// any PDU is asked, so that a run does not poll only to fail at the end.
// An existing file is left as it is; a new one is created and removed.
void CheckWritable(const std::string& path, const std::string& what);

// Creates or truncates `path` and writes `bytes`; throws FileError.
void WriteWholeFile(const std::string& path, const std::string& bytes, const std::string& what);

}  // namespace pdu_host
