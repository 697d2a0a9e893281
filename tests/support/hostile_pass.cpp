#include "support/hostile_pass.h"

#include <gtest/gtest.h>

#include "support/plugin_host.h"

namespace hostile {

const ber::Oid kRoot = {1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1};

ber::Oid Object(std::uint32_t column, std::uint32_t row) {
  ber::Oid oid = kRoot;
  oid.push_back(column);
  oid.push_back(row);
  return oid;
}

ber::Bytes Answer(const ber::Request& request, const std::vector<ber::Bytes>& bindings,
                  long long error_status) {
  return ber::Response(request.request_id, error_status, 0, bindings);
}

ber::Bytes EndOfView(const ber::Request& request) {
  return Answer(request, {ber::Binding(request.names.at(0), ber::Null(0x82))});
}

Pass RunPass(ScriptedAgent::Script script) {
  ScriptedAgent agent(std::move(script));
  auto device = plugin_host::ConfiguredDevice(5, {agent.address()});
  Pass pass;
  pass.address = agent.address();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(device->RefreshStatus(), 0);
  pass.out = testing::internal::GetCapturedStdout();
  pass.err = testing::internal::GetCapturedStderr();
  pass.requests = agent.requests();
  pass.published = plugin_host::Published(*device);
  return pass;
}

}  // namespace hostile
