#include "plugin_device.h"

#include <json/value.h>

#include "driver/record/pdu_record.h"
#include "host_calls.h"

namespace bench {

std::unique_ptr<QTXSocketDevice> NewDevice(const qtxhost::PluginLibrary& plugin, unsigned int id,
                                           const std::string& address, const char* use_thread,
                                           const std::string& b_mode,
                                           const Json::Value& credentials) {
  std::unique_ptr<QTXSocketDevice> device(plugin.SocketDeviceProvider()->create());
  Json::Value config(Json::objectValue);
  config["address"] = address;
  config["appSetting"] = credentials.isObject() ? credentials : Json::Value(Json::objectValue);
  config["appSetting"]["use_thread"] = use_thread;
  config["appSetting"]["b_mode"] = b_mode;
  device->Init(std::weak_ptr<QTXController>(), id, config);
  return device;
}

std::size_t PublishedRecords(const QTXVDevice& device) {
  std::size_t count = 0;
  for (const qtxhost::HostCall& call : qtxhost::RecordedCalls(device)) {
    count += call.kind == qtxhost::HostCall::Kind::kSendSP &&
             call.length == sizeof(SNMP_VARNO_PDU_Data_t) &&
             call.bytes.size() == sizeof(SNMP_VARNO_PDU_Data_t);
  }
  return count;
}

}  // namespace bench
