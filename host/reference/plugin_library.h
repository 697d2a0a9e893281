// Loading a device plug-in the way the host does.
//
// PluginLibrary dlopen()s a plug-in, finds its get_providers entry point and
// unloads the library when destroyed. Providers and devices obtained through
// it must be released before the library is.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "qtx/provider.h"
#include "qtx/qtx_socket_device.h"

namespace qtxhost {

class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PluginLibrary {
 public:
  // Loads `path` (dlopen flags `flags`, RTLD_NOW | RTLD_LOCAL when 0); throws
  // PluginError when it cannot be loaded or lacks get_providers.
  explicit PluginLibrary(const std::string& path, int flags = 0);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  ProviderList GetProviders() const;

  // The first socket-device factory the plug-in offers; throws PluginError
  // when it offers none.
  std::shared_ptr<QTXSocketDeviceProvider> SocketDeviceProvider() const;

 private:
  void* handle_ = nullptr;
  GetProvidersFunction get_providers_ = nullptr;
};

}  // namespace qtxhost
