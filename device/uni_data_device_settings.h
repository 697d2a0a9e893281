// UniDataDevice::InitSetting: working mode and threshold-rule tables.
//
// Console lines, in order: "InitSetting <data_id> b_mode_:<mode>" when a
// mode is configured; in mode 3 "here 1", then with a thresholdSetting
// "here 2" and per rule "here <key>", its missing-member lines and its
// "mobile:" line. A value that JsonCpp cannot turn into text raises JsonCpp's
// exception; entries written before stay and the host base is not called.
#pragma once

#include <iostream>
#include <locale>
#include <sstream>
#include <string>

#include "device/config_member.h"
#include "device/console_line.h"
#include "device/thread_safety.h"
#include "device/uni_data_device.h"

template <typename Record, typename HostBase, int RecordType>
int UniDataDevice<Record, HostBase, RecordType>::InitSetting(const Json::Value& config) {
  // The mode and the record's data_id are what a cycle reads.
  const pdu::MutexLock lock(cycle_mutex_);
  data_.data_id = this->data_id_;

  if (const Json::Value* app = config_member::PresentObject(config, "appSetting")) {
    if (const Json::Value* mode = config_member::Present(*app, "b_mode")) {
      b_mode_ = config_member::AtoiMember(*mode);
      const unsigned int record_id = data_.data_id;
      WriteConsoleLine(std::cout, "InitSetting " + std::to_string(record_id) +
                                      " b_mode_:" + std::to_string(b_mode_));
    }
  }

  if (b_mode_ == 3) {
    WriteConsoleLine(std::cout, "here 1");
    if (const Json::Value* rules = config_member::Present(config, "thresholdSetting")) {
      WriteConsoleLine(std::cout, "here 2");
      // Only an object has rules; any other value has no members.
      if (rules->isObject()) {
        for (auto it = rules->begin(); it != rules->end(); ++it) {
          const std::string key = it.name();
          WriteConsoleLine(std::cout, "here " + key);
          const Json::Value& rule = *it;
          if (!rule.isObject()) continue;

          if (const Json::Value* name = config_member::Present(rule, "SignalName")) {
            signal_names_[key] = name->asString();
          }
          std::string alarm_text;
          for (const char* part : {"NMAlarmID", "ID", "SignalNumber"}) {
            if (const Json::Value* value = config_member::Present(rule, part)) {
              alarm_text += value->asString();
            } else {
              WriteConsoleLine(std::cout,
                               std::to_string(this->data_id_) + " " + part + " is missing");
            }
            alarm_text += ';';
          }
          std::ostringstream line;
          line.imbue(std::locale::classic());  // the same digits whatever the host's locale
          line << "mobile:" << key << ':' << alarm_text << " level:" << this->threshold_levels_[key]
               << " value:" << this->threshold_values_[key];
          WriteConsoleLine(std::cout, line.str());
          alarm_ids_[key] = alarm_text;
        }
      }
    }
  }

  return HostBase::InitSetting(config);
}
