// rule_value: one threshold-check result kept by the host device base.
//
// The host fills a device's rule list (QTXVDevice::rule_values_) while a
// record cycle runs and evaluates the list in DoBatchCheckThreshold. The
// plug-in only counts, passes on and clears the list.
#pragma once

#include <string>

struct rule_value {
  std::string signal_id;   // identifier of the signal checked
  std::string alarm_text;  // text shown with the alarm
  bool active = false;     // state of the signal at the check
  unsigned short seq = 0;  // sequence value given with the check
};
