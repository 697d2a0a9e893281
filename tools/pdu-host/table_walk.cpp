#include "table_walk.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>

#include "driver/bulk_walk_step.h"
#include "driver/walk_settings.h"

namespace pdu_host {
namespace {

constexpr std::size_t kRootLength = std::size(pdu::kTableRoot);

// net-snmp keeps process-wide state without locks of its own: session set-up
// and tear-down, and the request id counter.
std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

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
      walk.how = WalkEnd::kTableEnd;
      walk.complete = true;
      walk.end = OrdinaryEnd(response);
      return false;
    case pdu::WalkStep::kEndErrorStatus:
      walk.how = WalkEnd::kAgentStopped;
      walk.end = "stopped: the agent answered with error status " +
                 std::to_string(response.errstat) + " (" + snmp_errstring(response.errstat) + ")";
      return false;
    default:
      walk.how = WalkEnd::kAgentStopped;
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
      walk.how = WalkEnd::kRequestLimit;
      walk.end = "stopped: request limit of one pass reached";
      return;
    }
    netsnmp_pdu* request = nullptr;
    {
      std::lock_guard<std::mutex> lock(LibraryMutex());
      request = snmp_pdu_create(SNMP_MSG_GETBULK);
    }
    if (request == nullptr) {
      walk.how = WalkEnd::kRequestFailed;
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
      walk.how = WalkEnd::kNoResponse;
      walk.end = "stopped: no response from " + address + " (time-out and one retry)";
      return;
    }
    if (status != STAT_SUCCESS || response == nullptr) {
      walk.how = WalkEnd::kRequestFailed;
      walk.failure = SessionError(session);
      walk.end = "stopped: the request failed: " + walk.failure;
      return;
    }
    ++walk.answers;
    running = TakeResponse(*response, cursor, &cursor_length, walk);
  }
}

}  // namespace

TableWalk WalkTable(const std::string& address) {
  TableWalk walk;
  std::string peer = address;
  void* session = nullptr;
  {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    netsnmp_session settings;
    snmp_sess_init(&settings);
    pdu::ApplyWalkSession(settings);
    settings.peername = peer.data();
    session = snmp_sess_open(&settings);
    if (session == nullptr) {
      walk.how = WalkEnd::kNoSession;
      walk.failure = OpenError(settings);
      walk.end = "stopped: no SNMP session to " + address + ": " + walk.failure;
      return walk;
    }
  }
  snmp_sess_session(session)->timeout = pdu::kTimeoutMicroseconds;
  const auto close = [session] {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    snmp_sess_close(session);
  };
  try {
    Walk(session, address, walk);
  } catch (...) {
    close();
    throw;
  }
  close();
  return walk;
}

std::string WalkSummary(const TableWalk& walk) {
  return walk.end + "; " + std::to_string(walk.requests) +
         (walk.requests == 1 ? " request" : " requests");
}

std::string NoAnswerAdvice() {
  static_assert(pdu::kRetries == 1 && pdu::kTimeoutMicroseconds % 1'000'000 == 0);
  netsnmp_session settings{};
  pdu::ApplyWalkSession(settings);
  const std::string community(reinterpret_cast<const char*>(settings.community),
                              settings.community_len);
  return "no answer to SNMP v2c, community \"" + community + "\", within " +
         std::to_string(pdu::kTimeoutMicroseconds / 1'000'000) +
         " s and one retry: the PDU is off or unreachable, nothing listens on that port, or its "
         "community is not \"" +
         community + "\" (a wrong community looks the same)";
}

}  // namespace pdu_host
