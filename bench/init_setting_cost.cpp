#include "init_setting_cost.h"

#include <cstdio>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include <json/value.h>

#include "bench_clock.h"
#include "percentile.h"
#include "proc_readers.h"
#include "silenced_stdout.h"
#include "v3_user.h"

namespace bench {
namespace {

// Median CPU and wall seconds of Init on `devices` fresh devices.
std::pair<double, double> InitTimes(const qtxhost::PluginLibrary& plugin, Json::Value config,
                                    int devices) {
  std::vector<double> cpu, wall;
  for (int i = 0; i < devices; ++i) {
    std::unique_ptr<QTXSocketDevice> device(plugin.SocketDeviceProvider()->create());
    const double cpu_start = ProcessCpuSeconds();
    const Clock::time_point wall_start = Clock::now();
    device->Init(std::weak_ptr<QTXController>(), 500 + static_cast<unsigned>(i), config);
    wall.push_back(Seconds(Clock::now() - wall_start));
    cpu.push_back(ProcessCpuSeconds() - cpu_start);
  }
  return {Median(cpu), Median(wall)};
}

}  // namespace

InitSettingCost MeasureInitSetting(const qtxhost::PluginLibrary& plugin, const std::string& address,
                                   int devices) {
  SilencedStdout silenced;
  Json::Value config(Json::objectValue);
  config["address"] = address;
  config["appSetting"]["b_mode"] = "2";
  InitSettingCost cost;
  std::tie(cost.v2c_cpu, cost.v2c_wall) = InitTimes(plugin, config, devices);
  config["appSetting"] = V3AppSetting();
  config["appSetting"]["b_mode"] = "2";
  std::tie(cost.v3_cpu, cost.v3_wall) = InitTimes(plugin, config, devices);
  return cost;
}

void ReportInitSetting(const InitSettingCost& cost, int devices) {
  std::printf(
      "InitSetting per device (median of %d fresh devices each): v3 authPriv SHA-256/AES %.3f ms "
      "CPU, %.3f ms wall; v2c %.3f ms CPU, %.3f ms wall\n",
      devices, Ms(cost.v3_cpu), Ms(cost.v3_wall), Ms(cost.v2c_cpu), Ms(cost.v2c_wall));
  std::fflush(stdout);
}

}  // namespace bench
