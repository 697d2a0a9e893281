#include "walk/table_walker.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <utility>

#include "capture/value_bytes.h"
#include "configuration/shown_address.h"
#include "driver/walk/bulk_walk_step.h"
#include "driver/walk/walk_settings.h"

namespace pdu_host {
namespace {

constexpr std::size_t kRootLength = std::size(pdu::kTableRoot);

bool InTable(const netsnmp_variable_list& binding) {
  return binding.name != nullptr && binding.name_length >= kRootLength &&
         std::equal(std::begin(pdu::kTableRoot), std::end(pdu::kTableRoot), binding.name);
}

const char* ExceptionName(u_char type) {
  switch (type) {
    case SNMP_NOSUCHOBJECT:
      return "noSuchObject";
    case SNMP_NOSUCHINSTANCE:
      return "noSuchInstance";
    case SNMP_ENDOFMIBVIEW:
      return "endOfMibView";
    default:
      return nullptr;
  }
}

// net-snmp's name for an error status: "genErr" from its "(genErr) A general
// failure occured".
std::string ErrorStatusName(long status) {
  const std::string text = snmp_errstring(static_cast<int>(status));
  const std::size_t close = text.find(')');
  if (text.empty() || text[0] != '(' || close == std::string::npos) return text;
  return text.substr(1, close - 1);
}

// How the first binding of `response` that ends the walk ends it.
std::string OrdinaryEnd(const netsnmp_pdu& response) {
  for (const netsnmp_variable_list* binding = response.variables; binding != nullptr;
       binding = binding->next_variable) {
    const std::string name = OidText(binding->name, binding->name_length);
    if (!InTable(*binding)) return "ended at the first object after the table, " + name;
    if (const char* exception = ExceptionName(binding->type)) {
      return std::string("ended by ") + exception + " for " + name;
    }
  }
  return "ended at the end of the table";
}

}  // namespace

TableWalker::TableWalker(std::string address) : address_(ShownAddress(address)) {
  std::copy(std::begin(pdu::kTableRoot), std::end(pdu::kTableRoot), cursor_);
  cursor_length_ = kRootLength;
}

netsnmp_pdu* TableWalker::NextRequest() {
  if (ended_) return nullptr;
  if (walk_.requests == pdu::kMaxRequestsPerPass) {
    End(WalkEnd::kRequestLimit, "stopped: request limit of one pass reached");
    return nullptr;
  }
  netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
  if (request == nullptr) {
    End(WalkEnd::kRequestFailed, "stopped: net-snmp could not create a request");
    return nullptr;
  }
  request->non_repeaters = pdu::kNonRepeaters;
  request->max_repetitions = pdu::kMaxRepetitions;
  snmp_add_null_var(request, cursor_, cursor_length_);
  ++walk_.requests;
  return request;
}

void TableWalker::TakeResponse(const netsnmp_pdu& response) {
  ++walk_.answers;
  if (response.errstat == SNMP_ERR_NOERROR) {
    for (const netsnmp_variable_list* binding = response.variables; binding != nullptr;
         binding = binding->next_variable) {
      if (InTable(*binding) && ExceptionName(binding->type) == nullptr) {
        walk_.objects.push_back(DescribeObject(*binding, pdu::kTableRoot, kRootLength));
      }
    }
  }
  SNMP_VARNO_PDU_Data_t unused{};
  const pdu::WalkStep step = pdu::ExamineResponse(response, pdu::kTableRoot, kRootLength, cursor_,
                                                  &cursor_length_, unused);
  switch (step) {
    case pdu::WalkStep::kContinue:
      return;
    case pdu::WalkStep::kEndOutsideSubtree:
    case pdu::WalkStep::kEndException:
      walk_.complete = true;
      End(WalkEnd::kTableEnd, OrdinaryEnd(response));
      return;
    case pdu::WalkStep::kEndErrorStatus:
      walk_.error_status = response.errstat;
      End(WalkEnd::kAgentStopped, "stopped: the agent answered with error status " +
                                      std::to_string(response.errstat) + " (" +
                                      ErrorStatusName(response.errstat) + ")");
      return;
    default:
      End(WalkEnd::kAgentStopped, std::string("stopped: ") + pdu::UnusualEndReason(step));
      return;
  }
}

void TableWalker::EndNoResponse() {
  End(WalkEnd::kNoResponse, "stopped: no response from " + address_ + " (time-out and one retry)");
}

void TableWalker::EndRequestFailed(const std::string& failure) {
  walk_.failure = failure;
  End(WalkEnd::kRequestFailed, "stopped: the request failed: " + failure);
}

void TableWalker::EndRefused(const std::string& reason) {
  walk_.failure = reason;
  End(WalkEnd::kRefused, "stopped: refused by the PDU: " + reason);
}

void TableWalker::EndOtherAnswer(const std::string& kind) {
  End(WalkEnd::kAgentStopped, "stopped: the answer was a " + kind + "-PDU, not a RESPONSE-PDU");
}

void TableWalker::EndNotWalked(const std::string& reason) {
  walk_.failure = reason;
  End(WalkEnd::kNotWalked, "not walked: " + reason);
}

void TableWalker::EndNoSession(const std::string& failure) {
  walk_.failure = failure;
  End(WalkEnd::kNoSession, "stopped: no SNMP session to " + address_ + ": " + failure);
}

void TableWalker::EndInterrupted() {
  End(WalkEnd::kInterrupted,
      walk_.requests == 0 ? "interrupted before its first request" : "interrupted before it ended");
}

void TableWalker::End(WalkEnd how, std::string words) {
  ended_ = true;
  walk_.how = how;
  walk_.end = std::move(words);
}

}  // namespace pdu_host
