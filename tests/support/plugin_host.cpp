#include "support/plugin_host.h"

#include <cstring>
#include <stdexcept>

namespace plugin_host {

qtxhost::PluginLibrary& Plugin() {
  static qtxhost::PluginLibrary library(SNMP_VARNO_PDU_PLUGIN);
  return library;
}

std::unique_ptr<QTXSocketDevice> NewDevice() {
  return std::unique_ptr<QTXSocketDevice>(Plugin().SocketDeviceProvider()->create());
}

Json::Value Config(const Settings& settings) {
  Json::Value config(Json::objectValue);
  config["address"] = settings.address;
  if (settings.use_thread != nullptr || settings.b_mode != nullptr) {
    Json::Value& app = config["appSetting"] = Json::Value(Json::objectValue);
    if (settings.use_thread != nullptr) app["use_thread"] = settings.use_thread;
    if (settings.b_mode != nullptr) app["b_mode"] = settings.b_mode;
  }
  return config;
}

std::unique_ptr<QTXSocketDevice> ConfiguredDevice(unsigned int id, const Settings& settings) {
  auto device = NewDevice();
  device->Init(std::weak_ptr<QTXController>(), id, Config(settings));
  return device;
}

SNMP_VARNO_PDU_Data_t RecordOf(const std::vector<unsigned char>& bytes) {
  if (bytes.size() != sizeof(SNMP_VARNO_PDU_Data_t)) throw std::runtime_error("not a record");
  SNMP_VARNO_PDU_Data_t record;
  std::memcpy(&record, bytes.data(), sizeof record);
  return record;
}

std::vector<SNMP_VARNO_PDU_Data_t> Published(const QTXVDevice& device) {
  std::vector<SNMP_VARNO_PDU_Data_t> records;
  for (const auto& call : qtxhost::RecordedCalls(device)) {
    if (call.kind == qtxhost::HostCall::Kind::kSendSP) records.push_back(RecordOf(call.bytes));
  }
  return records;
}

std::size_t CountCalls(const QTXVDevice& device, qtxhost::HostCall::Kind kind) {
  std::size_t count = 0;
  for (const auto& call : qtxhost::RecordedCalls(device)) count += call.kind == kind;
  return count;
}

}  // namespace plugin_host
