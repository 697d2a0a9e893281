// Ctrl-C or SIGTERM while the host thread is inside a polled device's pass:
// the pass may wait for its PDU up to the plug-in's time-out and retry
// (20 s), and only deleting the device from another thread ends its request
// at once (the plug-in then signals the pass's wake-up and publishes
// nothing). A PolledPassStop watches for the interruption on a thread of its
// own and deletes the device whose polled pass is under way; the host thread
// finds that device gone when the pass returns.
#pragma once

#include <memory>
#include <thread>

#include "device/thread_safety.h"
#include "qtx/qtx_socket_device.h"

namespace pdu_host {

class PolledPassStop {
 public:
  // Starts the watching thread; throws std::system_error when it cannot.
  PolledPassStop();
  // Stops and joins it.
  ~PolledPassStop();
  PolledPassStop(const PolledPassStop&) = delete;
  PolledPassStop& operator=(const PolledPassStop&) = delete;

  // While it lives, the calling thread runs a polled pass of `device`
  // (device `id`); interrupted meanwhile, the watcher deletes it and leaves
  // `device` null. Take the device's pointer before making the scope: from
  // then on `device` is touched under the watcher's lock only.
  class Pass {
   public:
    Pass(PolledPassStop& stop, std::unique_ptr<QTXSocketDevice>& device, unsigned int id);
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

   private:
    PolledPassStop& stop_;
  };

 private:
  void Watch();

  int stop_read_ = -1;
  int stop_write_ = -1;
  pdu::Mutex mutex_;
  std::unique_ptr<QTXSocketDevice>* device_ PDU_GUARDED_BY(mutex_) = nullptr;  // in a pass
  unsigned int id_ PDU_GUARDED_BY(mutex_) = 0;
  std::thread watcher_;
};

}  // namespace pdu_host
