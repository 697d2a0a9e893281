// Which devices a console line of the plug-in may come from. A line carries
// no writer, so the candidates are worked out from what pdu-host knows when
// the line is read:
//
// - a line that names exactly one device's address (time-outs, walk ends,
//   net-snmp's open failures) or data identifier (configuration traces) is
//   that device's;
// - any other line is from a device that may be writing at that moment: the
//   one whose call the host thread is making, and every threaded device from
//   its Init on, except during the pause after each of its passes. A pass
//   ends with the record cycle on the device's own thread; the plug-in then
//   waits 5 s before the next, so a device is quiet from the end of its
//   cycle for a little less than that (the margin keeps the rule sound).
//   A line telling of a problem needs a session, so devices without an
//   address are left out for it.
// - a problem line no device seems to be writing may be any device's with
//   an address: it is never dropped.
//
// Exact whenever one device may be writing; two threaded devices sampling
// at the same moment cannot be told apart for a line that names neither.
// Not thread-safe: the console capture guards it.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pdu_host {

struct ConsoleDevice {
  unsigned int id = 0;
  std::string address;
  bool threaded = false;  // samples on its own thread once its Init has begun
};

class LineAttribution {
 public:
  using Clock = std::chrono::steady_clock;
  // The quiet time after a threaded device's cycle: the plug-in's 5 s pause
  // between passes, less a margin.
  static constexpr std::chrono::milliseconds kQuietAfterPass{4500};

  explicit LineAttribution(const std::vector<ConsoleDevice>& devices);

  // The host thread calls into device `id` (none: the call returned). A
  // threaded device's thread may run from its first call (Init) on.
  void SetCalling(std::optional<unsigned int> id);
  // Threaded device `id` ended a pass with its cycle at `now`, on its own
  // thread, and everything it wrote before has been read.
  void PassEnded(unsigned int id, Clock::time_point now);
  // Device `id` is gone: its thread writes no more.
  void Stopped(unsigned int id);

  // The devices `line`, read at `now`, may come from, in ascending order:
  // one when it is tied to a device, none when no device can be named.
  std::vector<unsigned int> Candidates(const std::string& line, Clock::time_point now) const;

 private:
  struct Device {
    std::string address;
    bool threaded = false;
    bool started = false;
    bool stopped = false;
    Clock::time_point quiet_until{};
  };

  std::map<unsigned int, Device> devices_;
  std::optional<unsigned int> calling_;
};

// "7", "7 or 8", "7, 8 or 9".
std::string Alternatives(const std::vector<unsigned int>& ids);

}  // namespace pdu_host
