// The reference host's device bases: configuration, publishing, history and
// threshold calls, each recorded for the device that made it.
#include "qtx/qtx_vdevice.h"

#include <algorithm>
#include <utility>

#include "host_state.h"
#include "qtx/qtx_socket_device.h"

using qtxhost::HostCall;

VDeviceInterface::~VDeviceInterface() = default;

int VDeviceInterface::DeviceIoControl(int, const void*, int, void*, int, int& returned) {
  returned = 0;
  return -1;  // no control codes in the reference host
}

QTXVDevice::QTXVDevice() : host_state_(new HostState) {}

QTXVDevice::~QTXVDevice() { delete host_state_; }

void QTXVDevice::Reset() {
  HostCall call;
  call.kind = HostCall::Kind::kReset;
  qtxhost::Record(*this, std::move(call));
}

int QTXVDevice::InitV(QTXVDevice*, unsigned int data_id, const Json::Value& config) {
  data_id_ = data_id;
  return InitSetting(config);
}

int QTXVDevice::Init(std::weak_ptr<QTXController>, unsigned int data_id,
                     const Json::Value& config) {
  data_id_ = data_id;
  return InitSetting(config);
}

// Takes the device address from the configuration member "address".
int QTXVDevice::InitSetting(const Json::Value& config) {
  if (config.isObject()) {
    static const char kKey[] = "address";
    const Json::Value* address = config.find(kKey, kKey + sizeof kKey - 1);
    if (address != nullptr && address->isString()) address_ = address->asString();
  }
  return 1;
}

bool QTXVDevice::IsSupportDevice(const std::string& device_type) const {
  return device_type == DeviceType();
}

bool QTXVDevice::SendSP(int record_type, const unsigned char* data, unsigned int length,
                        bool flag) {
  HostCall call;
  call.kind = HostCall::Kind::kSendSP;
  call.record_type = record_type;
  if (data != nullptr) call.bytes.assign(data, data + length);
  call.length = length;
  call.flag = flag;
  qtxhost::Record(*this, std::move(call));
  return true;
}

int QTXVDevice::SendDelayData(int) { return 0; }
int QTXVDevice::SendDoData(int, char) { return 0; }
int QTXVDevice::ReadDi(int) { return 0; }
float QTXVDevice::ReadAi(int) { return 0.0f; }
float QTXVDevice::Get_SP_Value(unsigned int, const std::string&) { return 0.0f; }

bool QTXVDevice::CheckThresholdBool(int level, const std::string& signal_id,
                                    const std::string& signal_id2, const std::string& group_text,
                                    const std::string& alarm_text, bool active,
                                    unsigned short seq) {
  HostCall call;
  call.kind = HostCall::Kind::kCheckThresholdBool;
  call.level = level;
  call.signal_id = signal_id;
  call.signal_id2 = signal_id2;
  call.group_text = group_text;
  call.alarm_text = alarm_text;
  call.active = active;
  call.seq = seq;
  call.device_seq = signal_seq_;
  rule_values_.push_back(rule_value{signal_id, alarm_text, active, seq});
  qtxhost::Record(*this, std::move(call));
  return active;
}

bool QTXVDevice::DoBatchCheckThreshold(const std::vector<rule_value>& rules) {
  const bool any_active =
      std::any_of(rules.begin(), rules.end(), [](const rule_value& r) { return r.active; });
  HostCall call;
  call.kind = HostCall::Kind::kDoBatchCheckThreshold;
  call.rule_count = rules.size();
  call.result = any_active;
  qtxhost::Record(*this, std::move(call));
  return any_active;
}

bool QTXVDevice::SaveDeviceHistory(const unsigned char* data, unsigned int length) {
  HostCall call;
  call.kind = HostCall::Kind::kSaveDeviceHistory;
  if (data != nullptr) call.bytes.assign(data, data + length);
  call.length = length;
  qtxhost::Record(*this, std::move(call));
  return true;
}

QTXSocketDevice::QTXSocketDevice() = default;
QTXSocketDevice::~QTXSocketDevice() = default;

int QTXSocketDevice::process(int socket, unsigned char* data, int length) {
  return process_data(socket, data, length);
}
void QTXSocketDevice::OnConnected(int socket) { socket_id_ = socket; }
int QTXSocketDevice::RefreshStatus() { return 0; }
int QTXSocketDevice::StartSocket(const std::string&, unsigned short) { return -1; }
void QTXSocketDevice::CloseSocket(int) {}
int QTXSocketDevice::SendSocketData(int, const unsigned char*, unsigned int) { return -1; }
int QTXSocketDevice::SendSocketData(int, const std::vector<boost::asio::const_buffer>&) {
  return -1;
}
