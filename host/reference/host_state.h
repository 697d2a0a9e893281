// The reference host's private state of one device: its call record.
#pragma once

#include <condition_variable>
#include <vector>

#include "device/thread_safety.h"
#include "host_calls.h"
#include "qtx/qtx_vdevice.h"

struct QTXVDevice::HostState {
  pdu::Mutex mutex;
  std::condition_variable changed;
  std::vector<qtxhost::HostCall> calls PDU_GUARDED_BY(mutex);
};

namespace qtxhost {

// Records `call` for `device` and passes it to the observer.
void Record(const QTXVDevice& device, HostCall call);

}  // namespace qtxhost
