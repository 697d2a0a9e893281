// The device each thread of the process works for, so that a line the
// plug-in writes is tied to the device whose thread wrote it.
//
// The host thread works for a device while it is inside a call to it (a
// DeviceCall scope). Any thread created while its creator works for a
// device works for the same device from its first instruction on: this
// file defines pthread_create, which the plug-in, the C++ runtime and
// net-snmp all call in this process, and the new thread takes its creator's
// device before it runs. So a sampling thread started by a device's Init,
// and the helper threads it starts in turn (name look-ups), are that
// device's; threads created outside any device call belong to none.
#pragma once

#include <optional>

namespace pdu_host {

// The device the calling thread works for; none outside any device call.
std::optional<unsigned int> ThreadDevice();

// While it lives, the calling thread works for device `id`.
class DeviceCall {
 public:
  explicit DeviceCall(unsigned int id);
  ~DeviceCall();
  DeviceCall(const DeviceCall&) = delete;
  DeviceCall& operator=(const DeviceCall&) = delete;

 private:
  std::optional<unsigned int> previous_;
};

}  // namespace pdu_host
