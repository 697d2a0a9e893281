// Unloading the plug-in once its devices are deleted, as a host does: prompt
// even when a device was deleted mid-lookup and the lookup then needs the
// dynamic loader's lock, which dlclose holds; the lookup then returns into
// code still mapped. Each test needs a process in which the plug-in was not
// loaded yet, as CTest runs them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "support/plugin_host.h"
#include "support/scripted_agent.h"
#include "support/slow_names.h"

namespace {

using namespace std::chrono_literals;

bool Loaded() {
  void* handle = dlopen(SNMP_VARNO_PDU_PLUGIN, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

bool WaitFor(int (*count)()) {
  for (int i = 0; i < 30000 && count() == 0; ++i) std::this_thread::sleep_for(1ms);
  return count() > 0;
}

// Loads the plug-in, makes a threaded device at `peer`, deletes it once
// `ready()` and unloads the plug-in; ends the program when that hangs (a
// lookup waited out would take 60 s).
template <typename Ready>
void DeleteAndUnload(const std::string& peer, Ready ready) {
  testing::internal::CaptureStdout();
  auto library = std::make_unique<qtxhost::PluginLibrary>(SNMP_VARNO_PDU_PLUGIN);
  std::unique_ptr<QTXSocketDevice> device(library->SocketDeviceProvider()->create());
  device->Init(std::weak_ptr<QTXController>(), 71, plugin_host::Config({peer, "1"}));
  EXPECT_TRUE(ready());
  const auto start = std::chrono::steady_clock::now();
  auto unloaded = std::async(std::launch::async, [&] {
    device.reset();
    library.reset();
  });
  if (unloaded.wait_for(30s) != std::future_status::ready) {
    std::fprintf(stderr, "deleting the device and unloading the plug-in hung\n");
    std::_Exit(1);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  testing::internal::GetCapturedStdout();
  testing::Test::RecordProperty(
      "delete_and_unload_microseconds",
      std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
}

TEST(PluginUnloading, PromptAfterALookupLeftBehindWhichThenEndsInMappedCode) {
  if (Loaded()) GTEST_SKIP() << "the plug-in is loaded already";
  DeleteAndUnload("60000.slow.test:161", [] { return WaitFor(slow_names::SlowLookupsBegun); });
  EXPECT_TRUE(Loaded());  // kept for the lookup left behind
  slow_names::ReleaseSlowNames();
  EXPECT_TRUE(WaitFor(slow_names::SlowLookupsReturned));
  std::this_thread::sleep_for(200ms);  // the helper returns into the plug-in and ends there
}

TEST(PluginUnloading, UnloadsAsEverWithoutALookupLeftBehind) {
  if (Loaded()) GTEST_SKIP() << "the plug-in is loaded already";
  ScriptedAgent silent([](const ber::Request&, int) { return std::nullopt; });
  const std::string port = silent.address().substr(silent.address().rfind(':'));
  DeleteAndUnload("0.slow.test" + port, [&] { return silent.WaitForRequests(1, 30s); });
#ifndef PDU_SANITIZER_BUILD  // where the reference host keeps it loaded
  EXPECT_FALSE(Loaded());
#endif
}

}  // namespace
