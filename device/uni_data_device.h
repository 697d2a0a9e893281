// UniDataDevice: a host device over one fixed-size, byte-packed record.
//
// Template arguments: the record type (it must have a 32-bit `data_id` field
// and a 7-byte `ttime` field), the host base class, and the record type
// number under which the record is published.
//
// The device zeroes the record at construction, restores it from the host's
// cache, and runs the record cycle RoundDone at the end of every sampling
// pass: stamp, publish, check thresholds, store as history. The derived
// driver fills the record's other fields and may override RunCheckThreshold.
//
// cycle_mutex_ is the device lock: it guards the record and the host base
// members a cycle uses. Every cycle holds it (RoundDone takes it itself, so
// a cycle the host starts directly is covered too), and so does a cache
// restore from its copy to the end of its cycle. Cycles of one device thus
// never overlap. A derived driver takes it only for short stores, never
// while it waits for the network, so a host call waits at most for one
// cycle. The mutex is recursive because a cycle runs inside LoadFromCache.
#pragma once

#include <cstddef>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <type_traits>

#include <json/value.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "device/console_line.h"
#include "device/thread_safety.h"
#include "qtx/ttime.h"

template <typename Record, typename HostBase, int RecordType>
class UniDataDevice : public HostBase {
  static_assert(std::is_trivially_copyable<Record>::value, "records are copied as bytes");
  static_assert(sizeof(Record::data_id) == 4, "data_id is 32 bits");
  static_assert(sizeof(Record::ttime) == sizeof(ttime_t), "ttime holds the host's stamp");

 public:
  UniDataDevice() {
    std::memset(&data_, 0, sizeof data_);
    b_mode_ = 1;
  }
  ~UniDataDevice() override = default;

  using HostBase::LoadFromCache;

  // Replaces the whole record by a cached copy and runs a cycle with it.
  // Refuses (false, nothing changed) a null buffer or one whose length is not
  // exactly the record size.
  bool LoadFromCache(const unsigned char* data, int length) override {
    if (data == nullptr || length != static_cast<int>(sizeof(Record))) return false;
    const pdu::MutexLock lock(cycle_mutex_);
    std::memcpy(&data_, data, sizeof(Record));
    this->data_ready_ = true;
    this->RoundDone();
    return true;
  }

  // The record cycle. Publishes and stores the same bytes, stamped now.
  void RoundDone() override {
    const pdu::MutexLock lock(cycle_mutex_);
    this->data_ready_ = true;
    this->last_sample_time_ = boost::posix_time::second_clock::local_time();
    const ttime_t stamp = get_ttime(this->last_sample_time_);
    std::memcpy(RecordBytes() + offsetof(Record, ttime), stamp.data(), stamp.size());
    HostBase::SendSP(RecordType, RecordBytes(), sizeof(Record), false);
    this->Reset();
    this->signal_seq_ = 1;
    this->alarm_active_ = false;
    this->RunCheckThreshold();
    WriteConsoleLine(std::cout,
                     "rvSize is " + std::to_string(static_cast<int>(this->rule_values_.size())));
    const bool batch_active = this->DoBatchCheckThreshold(this->rule_values_);
    this->alarm_active_ = batch_active || this->alarm_active_;
    this->SaveDeviceHistory(RecordBytes(), sizeof(Record));
    this->rule_values_.clear();
  }

  // Reads the working mode and, in mode 3, the threshold-rule tables; ends
  // in the host base's InitSetting, whose result it returns.
  int InitSetting(const Json::Value& config) override;

  // Alarm evaluation hook, called once per cycle; nothing by default.
  virtual void RunCheckThreshold() {}

 protected:
  unsigned char* RecordBytes() { return reinterpret_cast<unsigned char*>(&data_); }

  Record data_ PDU_GUARDED_BY(cycle_mutex_);
  int b_mode_ = 1;  // 1 plain, 2 alarm evaluation, 3 threshold-rule tables
  std::map<std::string, std::string> alarm_ids_;     // rule key -> "NMAlarmID;ID;SignalNumber;"
  std::map<std::string, std::string> signal_names_;  // rule key -> SignalName
  pdu::RecursiveMutex cycle_mutex_;                  // the device lock, see above
};

#include "device/uni_data_device_settings.h"
