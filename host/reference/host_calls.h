// What the reference host records of a plug-in's calls.
//
// The reference host stands in for the closed host framework in our tests
// and tools. Every call that a device makes on its host base is recorded per
// device, in call order, and is also passed to an optional process-wide
// observer on the calling thread (the device's sampling thread included).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QTXVDevice;

namespace qtxhost {

struct HostCall {
  enum class Kind {
    kSendSP,
    kReset,
    kCheckThresholdBool,
    kDoBatchCheckThreshold,
    kSaveDeviceHistory
  };

  Kind kind = Kind::kReset;
  // SendSP and SaveDeviceHistory: the bytes as handed over, and the length argument.
  std::vector<unsigned char> bytes;
  unsigned int length = 0;
  // SendSP.
  int record_type = 0;
  bool flag = false;
  // CheckThresholdBool.
  int level = 0;
  std::string signal_id;
  std::string signal_id2;
  std::string group_text;
  std::string alarm_text;
  bool active = false;
  unsigned short seq = 0;
  unsigned short device_seq = 0;  // the device's signal_seq_ during the call
  // DoBatchCheckThreshold: size of the rule list and the result returned.
  std::size_t rule_count = 0;
  bool result = false;
};

const char* KindName(HostCall::Kind kind);

// A copy of the calls recorded for `device` so far.
std::vector<HostCall> RecordedCalls(const QTXVDevice& device);
void ClearRecordedCalls(const QTXVDevice& device);

// Waits until `device` has recorded at least `count` calls of `kind`;
// false when `timeout` passed first.
bool WaitForCalls(const QTXVDevice& device, HostCall::Kind kind, std::size_t count,
                  std::chrono::milliseconds timeout);

// Called after each recorded call, on the thread that made it. An empty
// function removes the observer.
using CallObserver = std::function<void(const QTXVDevice& device, const HostCall& call)>;
void SetCallObserver(CallObserver observer);

}  // namespace qtxhost
