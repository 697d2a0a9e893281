// What each device's passes came to, told by the plug-in's console lines
// attributed to it (console_capture.h) and by the records it published: the
// notes printed beside each record, the summary that ends a run, and whether
// a device's last pass ended without an answer.
//
//   === run summary: 3 devices ===
//   device 7  127.0.0.1:40001  2 records  no time-out or error
//   device 8  127.0.0.1:9      2 records  2 passes with a time-out or error  last problem: ...
//   device 9  127.0.0.1:40002  2 records  no time-out or error  col3, col4 were 0 in every ...
//
// A pass's problem is one of the plug-in's lines that tell of a time-out or
// an error (plugin_line.h); a pass has at most one, so they are counted as
// passes. A time-out is explained with how the device asks (its SNMP version,
// "tundra" or "the configured community", or its v3 user). A measurement
// field (one that feeds no alarm signal, so that 0 is not its usual value)
// that was 0 in every sampled record is named: a PDU that does not serve it,
// or serves it with a type the plug-in ignores, leaves it so. A problem line
// that could not be tied to one device (line_attribution.h: bytes written
// straight to the console) is noted beside the next record of each device
// whose address it names and in their summary lines, and listed at the end
// of the summary with those devices, or "no device": the run then has
// failed. A PDU that answers with another's SNMP v3 engine ID, which the
// plug-in reads correctly all the same, is named after the table in the
// plug-in's words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "configuration/host_config.h"
#include "device/thread_safety.h"

namespace pdu_host {

class RunLedger {
 public:
  explicit RunLedger(const std::vector<DeviceEntry>& entries);

  struct PassNotes {
    std::vector<std::string> lines;   // the device's lines beside the trace lines
    bool unanswered = false;          // the pass ended without an answer
    bool perhaps_unanswered = false;  // a line not told apart says so, maybe of this pass
  };

  // A console line of the plug-in and the devices it is from (one when it
  // is tied to a device; several or none when it is not).
  void OnLine(const std::vector<unsigned int>& candidates, const std::string& line);
  // Device `id` published `record` from a pass: what it reported since its
  // previous record.
  PassNotes OnRecord(unsigned int id, const std::vector<unsigned char>& record);
  // A polled pass of `id` returned; lines not beside a record stay counted.
  void EndPolledPass(unsigned int id);

  bool LastPassUnanswered(unsigned int id) const;
  // The last pass ended in a time-out: walking the table again now would
  // most likely wait out another one.
  bool LastPassTimedOut(unsigned int id) const;
  std::size_t Records(unsigned int id) const;
  // The problem line of the device's last pass without an answer.
  std::string LastProblem(unsigned int id) const;
  // The device's last problem is the plug-in's walk ending at an error
  // status, which its line does not name.
  bool LastProblemIsErrorStatus(unsigned int id) const;
  // What a walk after the run found about the last problem: said after it.
  void NoteWalkedAgain(unsigned int id, const std::string& words);
  // Problem lines that could not be tied to one device.
  std::size_t UntiedProblems() const;

  // The summary, ending in '\n'. For a run interrupted by the signal named
  // `interrupted_by` (null: not interrupted), the heading says so and each
  // device with fewer than `passes` records says it was stopped.
  std::string Summary(const char* interrupted_by = nullptr, std::size_t passes = 0) const;

 private:
  // What no answer means for a line that may be any of `candidates`'.
  std::string CommonNoAnswer(const std::vector<unsigned int>& candidates) const
      PDU_REQUIRES(mutex_);

  struct Device {
    std::size_t index = 0;
    std::string address;
    std::string no_answer;           // what no answer means, with its credentials
    std::vector<std::string> notes;  // since the last record, the last few
    bool pass_unanswered = false;    // in the pass running or last ended
    bool last_unanswered = false;
    std::size_t records = 0;
    std::size_t problems = 0;
    std::string last_problem;
    std::string walked_again;   // what a walk after the run found about it
    std::string shared_engine;  // the plug-in's line on sharing its engine ID, from "device "
    bool last_record_zero = false;
    std::set<std::uint32_t> measured;  // measurement columns non-zero in some sampled record
    std::size_t untied = 0;            // problem lines that may be its, not told apart
    std::string last_untied;
    bool pass_perhaps_unanswered = false;
  };

  mutable pdu::Mutex mutex_;
  std::map<unsigned int, Device> devices_ PDU_GUARDED_BY(mutex_);
  std::size_t untied_ PDU_GUARDED_BY(mutex_) = 0;
  std::vector<std::string> untied_kept_ PDU_GUARDED_BY(mutex_);  // the first few, as listed
};

}  // namespace pdu_host
