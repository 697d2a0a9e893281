#include "thread_costs.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <json/value.h>
#include <json/writer.h>

#include "host_calls.h"
#include "qtx/qtx_socket_device.h"
#include "support/pdu_host_run.h"
#include "support/stack_probe.h"

namespace thread_costs {
namespace {

using Clock = std::chrono::steady_clock;
using qtxhost::HostCall;

Json::Value DeviceConfig(unsigned int id, const std::string& address, const char* use_thread,
                         const std::string& b_mode) {
  Json::Value config(Json::objectValue);
  config["id"] = id;
  config["address"] = address;
  config["appSetting"]["use_thread"] = use_thread;
  config["appSetting"]["b_mode"] = b_mode;
  return config;
}

std::unique_ptr<QTXSocketDevice> NewDevice(const qtxhost::PluginLibrary& plugin, unsigned int id,
                                           const std::string& address, const char* use_thread,
                                           const std::string& b_mode = "1") {
  std::unique_ptr<QTXSocketDevice> device(plugin.SocketDeviceProvider()->create());
  device->Init(std::weak_ptr<QTXController>(), id, DeviceConfig(id, address, use_thread, b_mode));
  return device;
}

// A loopback UDP port that receives and never answers.
class SilentPort {
 public:
  SilentPort() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (fd_ >= 0) close(fd_);
      throw std::runtime_error("no loopback UDP port");
    }
    address_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  }
  ~SilentPort() { close(fd_); }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  const std::string& address() const { return address_; }
  // Reads datagrams until `count` have come or `timeout` has passed.
  bool Receive(int count, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    char buffer[2048];
    while (count > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) > 0 &&
          recv(fd_, buffer, sizeof buffer, 0) > 0) {
        --count;
      }
    }
    return true;
  }

 private:
  int fd_;
  std::string address_;
};

}  // namespace

StackFigures MeasureStack(const qtxhost::PluginLibrary& plugin, const std::string& address,
                          const std::string& b_mode) {
  StackFigures figures;
  auto polled = NewDevice(plugin, 1, address, "0", b_mode);
  figures.deepest_pass_bytes =
      stack_probe::DeepestStackUse(4 << 20, [&] { polled->RefreshStatus(); });

  std::atomic<const QTXVDevice*> threaded_device{nullptr};
  std::atomic<std::size_t> stack{0};
  qtxhost::SetCallObserver([&](const QTXVDevice& device, const HostCall&) {
    if (&device == threaded_device) stack = stack_probe::CurrentThreadStackBytes();
  });
  std::unique_ptr<QTXSocketDevice> threaded(plugin.SocketDeviceProvider()->create());
  threaded_device = threaded.get();
  threaded->Init(std::weak_ptr<QTXController>(), 2, DeviceConfig(2, address, "1", b_mode));
  qtxhost::WaitForCalls(*threaded, HostCall::Kind::kSendSP, 1, std::chrono::seconds(30));
  threaded.reset();
  qtxhost::SetCallObserver(nullptr);
  figures.sampling_stack_bytes = stack;
  return figures;
}

double DeleteWaitingOnSilence(const qtxhost::PluginLibrary& plugin, int devices) {
  SilentPort silent;
  std::vector<std::unique_ptr<QTXSocketDevice>> waiting;
  for (int i = 0; i < devices; ++i) {
    waiting.push_back(NewDevice(plugin, 100 + static_cast<unsigned>(i), silent.address(), "1"));
  }
  const bool all_asked = silent.Receive(devices, std::chrono::seconds(5));
  const Clock::time_point start = Clock::now();
  waiting.clear();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return all_asked ? seconds : -seconds;
}

ArmhfFigures ArmhfThreadedDevices(const std::string& armhf_dir, const std::string& address,
                                  int devices, int wait_seconds) {
  ArmhfFigures figures;
  const std::string exe = armhf_dir + "/pdu-host";
  if (!std::filesystem::exists(exe)) return figures;
  Json::Value config(Json::objectValue);
  Json::Value& list = config["devices"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < devices; ++i) {
    list.append(DeviceConfig(static_cast<unsigned>(i + 1), address, "1", "1"));
  }
  pdu_host_run::TempDir dir;
  const std::string config_path =
      dir.Write("devices.json", Json::writeString(Json::StreamWriterBuilder(), config));
  const std::string launcher = "/usr/bin/qemu-arm -L " + armhf_dir +
                               "/sysroot -E LD_LIBRARY_PATH=/usr/lib/arm-linux-gnueabihf";
  const Clock::time_point start = Clock::now();
  const auto result = pdu_host_run::Run(
      pdu_host_run::Command(launcher, exe,
                            {"--config", config_path, "--plugin", armhf_dir + "/snmp_varno_pdu.so",
                             "--passes", "1", "--seconds", std::to_string(wait_seconds)}),
      dir.path(), std::chrono::seconds(wait_seconds + 600));
  figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  figures.ran = true;
  figures.exit_status = result.status;

  // Exit status 0: every device published. 1: pdu-host names each device
  // that fell short. It stops configuring at the first device whose
  // InitSetting throws. Anything else: it did not run as it should.
  static const std::regex rejected(R"(devices\[(\d+)\]\): the plug-in rejected)");
  static const std::regex short_of(R"(published 0 of 1 records)");
  int shortfall = 0;
  figures.configured = result.status == 0 || result.status == 1 ? devices : 0;
  std::istringstream lines(result.err);
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch match;
    if (std::regex_search(line, match, rejected)) figures.configured = std::stoi(match[1]);
    if (std::regex_search(line, short_of)) ++shortfall;
    if (figures.first_problem.empty() && !line.empty()) figures.first_problem = line;
  }
  if (result.status == 0 || result.status == 1) {
    figures.published = figures.configured == devices ? devices - shortfall : 0;
  }
  return figures;
}

}  // namespace thread_costs
