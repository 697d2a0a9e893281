#include "tests/fuzz/init_setting_input.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "driver/record/pdu_alarms.h"
#include "driver/record/pdu_record.h"
#include "driver/snmp_varno_pdu.h"
#include "host_calls.h"
#include "tests/fuzz/fuzz_check.h"

namespace fuzz {
namespace {

constexpr unsigned int kDataId = 4711;
constexpr int kRecordType = 5156;

// The driver with its configured state visible to the checks.
class InspectedDevice : public SNMP_VARNO_PDU {
 public:
  using SNMP_VARNO_PDU::address_;
  using SNMP_VARNO_PDU::b_mode_;
};

bool ParseJson(const std::uint8_t* data, std::size_t size, Json::Value& value) {
  Json::CharReaderBuilder builder;
  builder["stackLimit"] = kJsonNestingLimit;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const char* begin = reinterpret_cast<const char*>(data);
  std::string errors;
  try {
    return reader->parse(begin, begin + size, &value, &errors);
  } catch (const Json::Exception&) {
    return false;  // nested deeper than the limit
  }
}

// One record cycle from a cached record whose every column is non-zero,
// then a look at what reached the host.
void CheckRecordCycle(InspectedDevice& device) {
  std::array<unsigned char, sizeof(SNMP_VARNO_PDU_Data_t)> cached;
  cached.fill(0x01);
  Check(device.LoadFromCache(cached.data(), static_cast<int>(cached.size())),
        "cached record of the right size refused");

  std::size_t published = 0, stored = 0, signals = 0;
  for (const qtxhost::HostCall& call : qtxhost::RecordedCalls(device)) {
    switch (call.kind) {
      case qtxhost::HostCall::Kind::kSendSP:
        Check(call.record_type == kRecordType && call.length == cached.size() &&
                  call.bytes.size() == cached.size(),
              "published record of the wrong type or size");
        ++published;
        break;
      case qtxhost::HostCall::Kind::kSaveDeviceHistory:
        Check(call.length == cached.size() && call.bytes.size() == cached.size(),
              "stored record of the wrong size");
        ++stored;
        break;
      case qtxhost::HostCall::Kind::kCheckThresholdBool:
        Check(call.active, "alarm inactive although its column is non-zero");
        ++signals;
        break;
      default:
        break;
    }
  }
  Check(published == 1 && stored == 1, "one cycle must publish and store one record");
  Check(signals == (device.b_mode_ == 2 ? pdu::kAlarmSignalCount : 0),
        "alarm signals reported outside mode 2 or not all fourteen in it");
}

}  // namespace

InitSettingOutcome RunInitSettingInput(const std::uint8_t* data, std::size_t size) {
  InitSettingOutcome outcome;
  Json::Value config;
  if (!ParseJson(data, size, config)) return outcome;
  outcome.parsed = true;

  // The host's InitSetting takes the address only from an object config.
  if (config.isObject()) config["address"] = "";

  InspectedDevice device;
  try {
    outcome.result = device.InitV(nullptr, kDataId, config);
  } catch (const Json::Exception&) {
    outcome.json_exception = true;
  }
  outcome.mode = device.b_mode_;
  Check(device.address_.empty(), "device configured with an address");
  if (!outcome.json_exception) CheckRecordCycle(device);
  return outcome;
}

}  // namespace fuzz
