// The --events log: one JSON object per line for every call a device makes
// on the host, e.g.
//
//   {"device":7,"call":"SendSP","type":5156,"length":135,"flag":false,"record":"<hex>"}
//   {"device":7,"call":"Reset"}
//   {"device":7,"call":"CheckThresholdBool","level":2,"id":"...","id2":"...","group":"...",
//    "text":"...","active":false,"seq":1}
//   {"device":7,"call":"DoBatchCheckThreshold","rules":14,"result":false}
//   {"device":7,"call":"SaveDeviceHistory","length":135,"record":"<hex>"}
//
// Field names and order are fixed: other tools parse them. Records are the
// handed-over bytes as lowercase hex; texts are JSON strings with UTF-8 kept
// as it is (a byte that is not valid UTF-8 becomes U+FFFD).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/thread_safety.h"
#include "host_calls.h"

namespace pdu_host {

// `text` as a quoted JSON string.
std::string JsonString(std::string_view text);
std::string HexBytes(const std::vector<unsigned char>& bytes);

// The event line for `call` by device `device_id`, ended by '\n'.
std::string EventLine(unsigned int device_id, const qtxhost::HostCall& call);

// The log file. Lines come from several threads; each is written whole by
// one write under a mutex, so lines never interleave.
class EventLog {
 public:
  // Creates or truncates `path`; throws FileError when it cannot.
  explicit EventLog(const std::string& path);
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  void Write(const std::string& line);
  // The first write error, empty when none.
  std::string error() const;

 private:
  std::string path_;
  int fd_ PDU_GUARDED_BY(mutex_) = -1;
  mutable pdu::Mutex mutex_;
  std::string error_ PDU_GUARDED_BY(mutex_);
};

}  // namespace pdu_host
