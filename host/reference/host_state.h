// The reference host's private state of one device: its call record.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "host_calls.h"
#include "qtx/qtx_vdevice.h"

struct QTXVDevice::HostState {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<qtxhost::HostCall> calls;
};

namespace qtxhost {

// Records `call` for `device` and passes it to the observer.
void Record(const QTXVDevice& device, HostCall call);

}  // namespace qtxhost
