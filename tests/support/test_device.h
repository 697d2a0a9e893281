// A uniform data device over the PDU record whose inner state tests can see.
#pragma once

#include <functional>

#include "device/uni_data_device.h"
#include "driver/record/pdu_record.h"
#include "qtx/qtx_socket_device.h"

using PduDeviceBase = UniDataDevice<SNMP_VARNO_PDU_Data_t, QTXSocketDevice, 5156>;

class TestDevice : public PduDeviceBase {
 public:
  int process_data(int, unsigned char*, int) override { return 0; }

  // Lets a test act as the alarm evaluation of a driver.
  std::function<void(TestDevice&)> on_check;
  void RunCheckThreshold() override {
    if (on_check) on_check(*this);
  }

  using PduDeviceBase::address_;
  using PduDeviceBase::alarm_active_;
  using PduDeviceBase::alarm_ids_;
  using PduDeviceBase::b_mode_;
  using PduDeviceBase::data_;
  using PduDeviceBase::data_id_;
  using PduDeviceBase::data_ready_;
  using PduDeviceBase::last_sample_time_;
  using PduDeviceBase::rule_values_;
  using PduDeviceBase::signal_names_;
  using PduDeviceBase::signal_seq_;
  using PduDeviceBase::threshold_levels_;
  using PduDeviceBase::threshold_values_;
};
