#include "plugin_library.h"

#include <dlfcn.h>

namespace qtxhost {

PluginLibrary::PluginLibrary(const std::string& path, int flags) {
  if (flags == 0) flags = RTLD_NOW | RTLD_LOCAL;
#ifdef PDU_SANITIZER_BUILD
  // net-snmp keeps process-wide state that unloading the plug-in (and with
  // it net-snmp) would turn into leak reports at exit; keep it loaded.
  flags |= RTLD_NODELETE;
#endif
  handle_ = dlopen(path.c_str(), flags);
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
