// QTXVDevice: the host's generic device base.
//
// Adds the configuration entry points, the publishing and history calls and
// the threshold machinery shared by every device. Virtual slots 10 to 22 of
// the chain are declared here, in this order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "qtx/qtx_controller.h"
#include "qtx/rule_value.h"
#include "qtx/vdevice_interface.h"

class QTXVDevice : public VDeviceInterface {
 public:
  ~QTXVDevice() override;

  virtual void Reset();                                                                    // 10
  virtual int InitV(QTXVDevice* parent, unsigned int data_id, const Json::Value& config);  // 11
  virtual int Init(std::weak_ptr<QTXController> controller, unsigned int data_id,
                   const Json::Value& config);                                           // 12
  virtual int InitSetting(const Json::Value& config);                                    // 13
  virtual bool IsSupportDevice(const std::string& device_type) const;                    // 14
  virtual std::shared_ptr<VDeviceInterface> GetChildVDevice(unsigned int /*data_id*/) {  // 15
    return nullptr;
  }
  virtual std::vector<std::shared_ptr<VDeviceInterface>> GetAllChildVDevices() {  // 16
    return {};
  }
  virtual bool SendSP(int record_type, const unsigned char* data, unsigned int length,
                      bool flag);                                           // 17
  virtual int SendDelayData(int delay);                                     // 18
  virtual int SendDoData(int channel, char value);                          // 19
  virtual int ReadDi(int channel);                                          // 20
  virtual float ReadAi(int channel);                                        // 21
  virtual float Get_SP_Value(unsigned int index, const std::string& name);  // 22

  // Reports one boolean signal to the host's threshold machinery.
  bool CheckThresholdBool(int level, const std::string& signal_id, const std::string& signal_id2,
                          const std::string& group_text, const std::string& alarm_text, bool active,
                          unsigned short seq);
  // Evaluates the collected rule list; true when an alarm is active.
  bool DoBatchCheckThreshold(const std::vector<rule_value>& rules);
  // Hands a record to the host's history store.
  bool SaveDeviceHistory(const unsigned char* data, unsigned int length);

  // The host's private per-device state.
  struct HostState;
  HostState* host_state() const { return host_state_; }

 protected:
  QTXVDevice();

  std::uint16_t signal_seq_ = 0;
  boost::posix_time::ptime last_sample_time_;
  bool data_ready_ = false;
  std::vector<rule_value> rule_values_;  // filled by the host during a cycle
  bool alarm_active_ = false;
  std::map<std::string, int> threshold_levels_;
  std::map<std::string, float> threshold_values_;
  std::string address_;  // device address, set by the host's InitSetting

 private:
  HostState* host_state_;
};
