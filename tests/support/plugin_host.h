// Driving the built plug-in as the host does: loaded with dlopen, devices
// from its provider, configured through Init.
#pragma once

#include <json/value.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/record/pdu_record.h"
#include "host_calls.h"
#include "plugin_library.h"
#include "qtx/qtx_socket_device.h"

namespace plugin_host {

// The plug-in under test, loaded once for the whole test program.
qtxhost::PluginLibrary& Plugin();

std::unique_ptr<QTXSocketDevice> NewDevice();

struct Settings {
  std::string address;
  const char* use_thread = nullptr;  // appSetting.use_thread, absent when null
  const char* b_mode = nullptr;      // appSetting.b_mode, absent when null
};
Json::Value Config(const Settings& settings);

// Creates a device and runs the host's Init with data identifier `id`.
std::unique_ptr<QTXSocketDevice> ConfiguredDevice(unsigned int id, const Settings& settings);

SNMP_VARNO_PDU_Data_t RecordOf(const std::vector<unsigned char>& bytes);
// The records the device has published with SendSP, in order.
std::vector<SNMP_VARNO_PDU_Data_t> Published(const QTXVDevice& device);
std::size_t CountCalls(const QTXVDevice& device, qtxhost::HostCall::Kind kind);

}  // namespace plugin_host
