// Which device a console line of the plug-in is from:
//
// - a line of the plug-in's own that carries its device's number
//   ("SNMP_VARNO_PDU: device 7 (...) ...") or data identifier (configuration
//   traces: "InitSetting 7 b_mode_:2", "7 ID is missing") is that device's;
// - any other line is the device's whose thread wrote it (thread_device.h);
// - a line no device's thread wrote (bytes written straight to descriptor 1
//   or 2) is the device's whose address it names as a whole word, or every
//   device's on that address when several share it;
// - else it is no device's.
//
// Immutable once made: safe to use from any thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pdu_host {

struct ConsoleDevice {
  unsigned int id = 0;
  std::string address;
};

class LineAttribution {
 public:
  explicit LineAttribution(const std::vector<ConsoleDevice>& devices);

  // The devices `line`, written by a thread of device `writer` (none: no
  // device's thread), is from, in ascending order: one when it is tied to a
  // device, several for a line naming an address they share, none when no
  // device can be named.
  std::vector<unsigned int> Devices(const std::string& line,
                                    std::optional<unsigned int> writer) const;

 private:
  std::map<unsigned int, std::string> addresses_;  // by device
};

// "7", "7 or 8", "7, 8 or 9"; past three, "1, 2, 3 or 1997 others".
std::string Alternatives(const std::vector<unsigned int>& ids);

}  // namespace pdu_host
