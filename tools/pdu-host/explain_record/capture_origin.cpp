#include "explain_record/capture_origin.h"

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "configuration/shown_address.h"
#include "driver/snmp/interruptible_request.h"
#include "driver/v3/usm_state.h"
#include "driver/v3/v3_session.h"
#include "walk/walk_session.h"

namespace pdu_host {
namespace {

constexpr oid kSysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
constexpr oid kSysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
constexpr long kNamesTimeoutMicroseconds = 2'000'000;
constexpr std::size_t kMaxNameBytes = 255;  // both are SIZE (0..255)

bool Is(const netsnmp_variable_list& binding, const oid (&name)[9]) {
  return snmp_oid_compare(binding.name, binding.name_length, name, std::size(name)) == 0;
}

// The value on one comment line: control characters as \xNN, cut at 255 bytes.
std::string CommentText(const netsnmp_variable_list& binding) {
  std::string text;
  const std::size_t length = binding.val_len < kMaxNameBytes ? binding.val_len : kMaxNameBytes;
  for (std::size_t i = 0; i < length; ++i) {
    const u_char byte = binding.val.string[i];
    if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      text += code;
    } else {
      text += static_cast<char>(byte);
    }
  }
  return binding.val_len > kMaxNameBytes ? text + "..." : text;
}

}  // namespace

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[40];
  if (localtime_r(&now, &local) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local) == 0) {
    return "(time unknown)";
  }
  return text;
}

void AskAgentNames(CaptureOrigin& origin, const DeviceEntry& entry,
                   const pdu::SessionSecurity& security) {
  if (security.problem()) return;
  netsnmp_session settings;
  FillWalkSession(entry, security, settings);
  settings.timeout = kNamesTimeoutMicroseconds;
  // Outlives the session, as SendAndWait asks.
  pdu::RequestState state;
  const pdu::SessionHandle opened(snmp_sess_open(&settings));
  void* session = opened.get();
  if (session == nullptr) return;
  if (security.v3()) {
    // The walk has just learned the PDU's engine; without it, no names.
    std::string engine_id;
    {
      const pdu::MutexLock lock(pdu::NetSnmpMutex());
      engine_id = pdu::KnownEngineId(session);
    }
    pdu::KeepFromProbing(session);
    if (pdu::UseEngine(session, engine_id) != pdu::V3Setup::kReady) return;
  }
  pdu::PduHandle request(snmp_pdu_create(SNMP_MSG_GET));
  if (request == nullptr) return;
  snmp_add_null_var(request.get(), kSysDescr, std::size(kSysDescr));
  snmp_add_null_var(request.get(), kSysName, std::size(kSysName));
  pdu::PduHandle response;
  pdu::WakeWatch no_wake;
  const pdu::RequestStatus status =
      pdu::SendAndWait(session, std::move(request), &response, no_wake, state, &security);
  if (status != pdu::RequestStatus::kSuccess || response == nullptr ||
      response->errstat != SNMP_ERR_NOERROR) {
    return;
  }
  for (const netsnmp_variable_list* binding = response->variables; binding != nullptr;
       binding = binding->next_variable) {
    if (binding->type != ASN_OCTET_STR || (binding->val.string == nullptr && binding->val_len)) {
      continue;
    }
    if (Is(*binding, kSysName)) origin.sys_name = CommentText(*binding);
    if (Is(*binding, kSysDescr)) origin.sys_descr = CommentText(*binding);
  }
}

std::string CaptureHeader(const CaptureOrigin& origin, const TableWalk& walk) {
  std::string text = "# PDU table of " + ShownAddress(origin.address) +
                     " as pdu-host walked it on " + origin.taken_at + ": " +
                     std::to_string(walk.objects.size()) + " objects\n# " + WalkSummary(walk) +
                     "\n# walked with " + origin.asked_as + "\n";
  if (origin.sys_name) text += "# sysName: " + *origin.sys_name + "\n";
  if (origin.sys_descr) text += "# sysDescr: " + *origin.sys_descr + "\n";
  return text;
}

}  // namespace pdu_host
