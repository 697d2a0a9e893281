#include "table_walk.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>

#include "driver/bulk_walk_step.h"
#include "driver/walk_settings.h"

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

// net-snmp's message for the last error of a session, taken over from the
// library's allocation.
std::string SessionError(void* session) {
  char* message = nullptr;
  int library_error = 0;
  int system_error = 0;
  snmp_sess_error(session, &library_error, &system_error, &message);
  const std::unique_ptr<char, decltype(&std::free)> owner(message, &std::free);
  return message != nullptr ? message : "unknown error";
}

std::string OpenError(netsnmp_session& settings) {
  char* message = nullptr;
  int library_error = 0;
  int system_error = 0;
  snmp_error(&settings, &library_error, &system_error, &message);
  const std::unique_ptr<char, decltype(&std::free)> owner(message, &std::free);
  return message != nullptr ? message : "unknown error";
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

// Keeps the response's objects and applies the plug-in's rules to it; true
// while the walk goes on.
bool TakeResponse(const netsnmp_pdu& response, oid* cursor, std::size_t* cursor_length,
                  TableWalk& walk) {
  if (response.errstat == SNMP_ERR_NOERROR) {
    for (const netsnmp_variable_list* binding = response.variables; binding != nullptr;
         binding = binding->next_variable) {
      if (InTable(*binding) && ExceptionName(binding->type) == nullptr) {
        walk.objects.push_back(DescribeObject(*binding, pdu::kTableRoot, kRootLength));
      }
    }
  }
  SNMP_VARNO_PDU_Data_t unused{};
  const pdu::WalkStep step =
      pdu::ExamineResponse(response, pdu::kTableRoot, kRootLength, cursor, cursor_length, unused);
  switch (step) {
    case pdu::WalkStep::kContinue:
      return true;
    case pdu::WalkStep::kEndOutsideSubtree:
    case pdu::WalkStep::kEndException:
      walk.complete = true;
      walk.end = OrdinaryEnd(response);
      return false;
    case pdu::WalkStep::kEndErrorStatus:
      walk.end = "stopped: the agent answered with error status " +
                 std::to_string(response.errstat) + " (" + snmp_errstring(response.errstat) + ")";
      return false;
    default:
      walk.end = std::string("stopped: ") + pdu::UnusualEndReason(step);
      return false;
  }
}

// Sends requests until the walk ends.
void Walk(void* session, const std::string& address, TableWalk& walk) {
  oid cursor[MAX_OID_LEN];
  std::copy(std::begin(pdu::kTableRoot), std::end(pdu::kTableRoot), cursor);
  std::size_t cursor_length = kRootLength;
  for (bool running = true; running;) {
    if (walk.requests == pdu::kMaxRequestsPerPass) {
      walk.end = "stopped: request limit of one pass reached";
      return;
    }
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
    if (request == nullptr) {
      walk.end = "stopped: net-snmp could not create a request";
      return;
    }
    request->non_repeaters = pdu::kNonRepeaters;
    request->max_repetitions = pdu::kMaxRepetitions;
    snmp_add_null_var(request, cursor, cursor_length);
    netsnmp_pdu* response = nullptr;
    ++walk.requests;
    // The library takes the request over, whatever the outcome.
    const int status = snmp_sess_synch_response(session, request, &response);
    const std::unique_ptr<netsnmp_pdu, decltype(&snmp_free_pdu)> owner(response, &snmp_free_pdu);
    if (status == STAT_TIMEOUT) {
      walk.end = "stopped: no response from " + address + " (time-out and one retry)";
      return;
    }
    if (status != STAT_SUCCESS || response == nullptr) {
      walk.end = "stopped: the request failed: " + SessionError(session);
      return;
    }
    running = TakeResponse(*response, cursor, &cursor_length, walk);
  }
}

}  // namespace

TableWalk WalkTable(const std::string& address) {
  TableWalk walk;
  netsnmp_session settings;
  snmp_sess_init(&settings);
  pdu::ApplyWalkSession(settings);
  std::string peer = address;
  settings.peername = peer.data();
  void* session = snmp_sess_open(&settings);
  if (session == nullptr) {
    walk.end = "stopped: no SNMP session to " + address + ": " + OpenError(settings);
    return walk;
  }
  snmp_sess_session(session)->timeout = pdu::kTimeoutMicroseconds;
  try {
    Walk(session, address, walk);
  } catch (...) {
    snmp_sess_close(session);
    throw;
  }
  snmp_sess_close(session);
  return walk;
}

std::string WalkSummary(const TableWalk& walk) {
  return walk.end + "; " + std::to_string(walk.requests) +
         (walk.requests == 1 ? " request" : " requests");
}

}  // namespace pdu_host
