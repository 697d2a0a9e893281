// The plug-in's entry point, the only symbol it exports: a new list holding
// one new PDU device factory on every call.
#include <memory>
#include <vector>

#include "driver/snmp_varno_pdu_provider.h"
#include "qtx/provider.h"

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers() {
  std::vector<std::shared_ptr<Provider>> providers;
  std::shared_ptr<Provider> provider = std::make_shared<SNMP_VARNO_PDUProvider>();
  providers.push_back(std::move(provider));
  return providers;
}
