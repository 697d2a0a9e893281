// Running one sampling pass of the plug-in against a scripted agent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/record/pdu_record.h"
#include "support/ber.h"
#include "support/scripted_agent.h"

namespace hostile {

extern const ber::Oid kRoot;  // the PDU table

// The table object of `column` in `row`.
ber::Oid Object(std::uint32_t column, std::uint32_t row = 1);

ber::Bytes Answer(const ber::Request& request, const std::vector<ber::Bytes>& bindings,
                  long long error_status = 0);
// endOfMibView for the name asked about.
ber::Bytes EndOfView(const ber::Request& request);

struct Pass {
  std::string address;
  std::vector<ber::Request> requests;
  std::vector<SNMP_VARNO_PDU_Data_t> published;
  std::string out;  // standard output during the pass
  std::string err;  // standard error during the pass
};

// One polled pass (RefreshStatus) of a fresh device against `script`.
Pass RunPass(ScriptedAgent::Script script);

}  // namespace hostile
