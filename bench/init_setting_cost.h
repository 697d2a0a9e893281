// pdu-bench: what configuring a device costs, InitSetting through the host's
// Init, with SNMP v3 authPriv credentials (SHA-256, AES: two keys derived
// from passphrases, each about a megabyte of hashing) against plain v2c.
// Fresh devices each time, never polled; CPU of this process and wall time
// per call, medians.
#pragma once

#include <string>

#include "plugin_library.h"

namespace bench {

struct InitSettingCost {
  double v2c_cpu = 0, v2c_wall = 0;  // seconds per call
  double v3_cpu = 0, v3_wall = 0;
};

InitSettingCost MeasureInitSetting(const qtxhost::PluginLibrary& plugin, const std::string& address,
                                   int devices);
void ReportInitSetting(const InitSettingCost& cost, int devices);

}  // namespace bench
