// pdu-bench: devices of the loaded plug-in as the host makes them, and what
// they published.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <json/value.h>

#include "plugin_library.h"
#include "qtx/qtx_socket_device.h"

namespace bench {

// A device configured through the host's Init with data identifier `id`,
// polling `address` with appSetting.use_thread and appSetting.b_mode, and
// the members of `credentials` (an object) besides.
std::unique_ptr<QTXSocketDevice> NewDevice(const qtxhost::PluginLibrary& plugin, unsigned int id,
                                           const std::string& address, const char* use_thread,
                                           const std::string& b_mode,
                                           const Json::Value& credentials = Json::Value());

// SendSP calls recorded for `device` that carried a whole record.
std::size_t PublishedRecords(const QTXVDevice& device);

}  // namespace bench
