#include "plugin_library.h"

#include <dlfcn.h>

namespace qtxhost {

PluginLibrary::PluginLibrary(const std::string& path, int flags) {
  handle_ = dlopen(path.c_str(), flags != 0 ? flags : RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* error = dlerror();
    throw PluginError("cannot load plugin " + path + ": " + (error != nullptr ? error : "?"));
  }
  void* symbol = dlsym(handle_, kGetProvidersSymbol);
  if (symbol == nullptr) {
    dlclose(handle_);
    throw PluginError("plugin " + path + " has no " + kGetProvidersSymbol);
  }
  get_providers_ = reinterpret_cast<GetProvidersFunction>(symbol);
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

ProviderList PluginLibrary::GetProviders() const { return get_providers_(); }

std::shared_ptr<QTXSocketDeviceProvider> PluginLibrary::SocketDeviceProvider() const {
  for (const auto& provider : GetProviders()) {
    if (auto socket = std::dynamic_pointer_cast<QTXSocketDeviceProvider>(provider)) return socket;
  }
  throw PluginError("plugin offers no socket device provider");
}

}  // namespace qtxhost
