#include "bare_walker.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "driver/v3/usm_state.h"

namespace bench {
namespace {

const oid kTableRoot[] = {1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1};
constexpr long kTimeoutMicroseconds = 10'000'000;
constexpr int kRetries = 1;
constexpr int kNonRepeaters = 1;
constexpr int kMaxRepetitions = 100;
constexpr int kMaxRequestsPerPass = 65'536;  // a misbehaving agent must not hold a pass forever

bool InTable(const netsnmp_variable_list& binding) {
  return binding.name != nullptr && binding.name_length >= std::size(kTableRoot) &&
         std::equal(std::begin(kTableRoot), std::end(kTableRoot), binding.name);
}

bool IsException(u_char type) {
  return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

}  // namespace

BareWalker::BareWalker(const std::string& peer,
                       std::shared_ptr<const pdu::SessionSecurity> security)
    : peer_(peer), security_(std::move(security)) {
  std::copy(std::begin(kCommunity), std::end(kCommunity), community_);
  snmp_sess_init(&settings_);
  settings_.version = SNMP_VERSION_2c;
  settings_.community = reinterpret_cast<u_char*>(community_);
  settings_.community_len = std::strlen(community_);
  settings_.timeout = kTimeoutMicroseconds;
  settings_.retries = kRetries;
  settings_.peername = peer_.data();
  if (security_) {
    pdu::PrepareUsm();
    security_->Apply(settings_);
    settings_.flags &= ~SNMP_FLAGS_DONT_PROBE;
  }
}

int BareWalker::Pass() {
  netsnmp_session settings = settings_;
  if (!engine_id_.empty()) {
    settings.securityEngineID = reinterpret_cast<u_char*>(engine_id_.data());
    settings.securityEngineIDLen = engine_id_.size();
  }
  void* session = snmp_sess_open(&settings);
  if (session == nullptr) return -1;
  if (security_ && engine_id_.empty()) {
    const netsnmp_session* opened = snmp_sess_session(session);
    engine_id_.assign(reinterpret_cast<const char*>(opened->securityEngineID),
                      opened->securityEngineIDLen);
  }
  snmp_sess_session(session)->timeout = kTimeoutMicroseconds;

  oid cursor[MAX_OID_LEN];
  std::copy(std::begin(kTableRoot), std::end(kTableRoot), cursor);
  std::size_t cursor_length = std::size(kTableRoot);
  int requests = 0;
  bool failed = false;
  bool running = true;
  while (running && requests < kMaxRequestsPerPass) {
    running = false;
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
    if (request == nullptr) {
      failed = true;
      break;
    }
    request->non_repeaters = kNonRepeaters;
    request->max_repetitions = kMaxRepetitions;
    snmp_add_null_var(request, cursor, cursor_length);
    netsnmp_pdu* response = nullptr;
    ++requests;
    const int status = snmp_sess_synch_response(session, request, &response);
    if (status != STAT_SUCCESS || response == nullptr) {
      failed = true;
    } else if (response->errstat == SNMP_ERR_NOERROR) {
      for (const netsnmp_variable_list* binding = response->variables; binding != nullptr;
           binding = binding->next_variable) {
        running = InTable(*binding) && !IsException(binding->type);
        if (!running) break;
        if (binding->next_variable == nullptr && binding->name_length <= MAX_OID_LEN) {
          std::copy(binding->name, binding->name + binding->name_length, cursor);
          cursor_length = binding->name_length;
        }
      }
    }
    if (response != nullptr) snmp_free_pdu(response);
  }
  snmp_sess_close(session);
  return failed ? -requests : requests;
}

}  // namespace bench
