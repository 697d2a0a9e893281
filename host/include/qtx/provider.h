// Device factories as the host receives them from a plug-in.
//
// A plug-in exports get_providers (plain C symbol name); the host calls it
// once after loading and keeps the returned providers as long as it creates
// devices with them. A device from create() belongs to the caller, who
// destroys it through its virtual destructor.
#pragma once

#include <memory>
#include <vector>

class QTXSocketDevice;

class Provider {
 public:
  virtual ~Provider();
};

class QTXSocketDeviceProvider : public Provider {
 public:
  ~QTXSocketDeviceProvider() override;
  virtual QTXSocketDevice* create() const = 0;
};

using ProviderList = std::vector<std::shared_ptr<Provider>>;

// Signature of the entry point every plug-in exports.
using GetProvidersFunction = ProviderList (*)();
inline constexpr const char kGetProvidersSymbol[] = "get_providers";
