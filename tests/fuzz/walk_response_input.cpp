#include "tests/fuzz/walk_response_input.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

#include "driver/record/pdu_record.h"
#include "driver/snmp/netsnmp.h"
#include "driver/walk/walk_settings.h"
#include "tests/fuzz/fuzz_check.h"

namespace fuzz {
namespace {

// The walked table, as the driver walks it.
using pdu::kTableRoot;
constexpr std::size_t kRootLength = std::size(kTableRoot);

constexpr std::size_t kTimeStampOffset = offsetof(SNMP_VARNO_PDU_Data_t, ttime);

// A client session configured like the driver's. snmp_sess_init also runs
// the library's one-time set-up.
netsnmp_session MakeSession() {
  netsnmp_session session;
  {
    std::lock_guard<std::mutex> lock(pdu::NetSnmpMutex());
    snmp_sess_init(&session);
    // Parse errors are logged; a null handler that takes every priority
    // keeps them from reaching stderr at fuzzing speed.
    netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG);
  }
  pdu::ApplyWalkSession(session);
  return session;
}

const netsnmp_session& SessionTemplate() {
  static const netsnmp_session session = MakeSession();
  return session;
}

// net-snmp's receive-side parse of one message for a v2c session: 0 when the
// message is accepted. Releases before 5.9 keep snmp_parse to themselves;
// for them this takes the same steps their parser takes for a v2c session,
// through the two public calls it is made of.
int ParseMessage(netsnmp_session* session, netsnmp_pdu* pdu, u_char* data, std::size_t size) {
#ifdef NETSNMP_HAS_PUBLIC_SNMP_PARSE
  return snmp_parse(nullptr, session, pdu, data, size);
#else
  u_char community[COMMUNITY_MAX_LEN];
  std::size_t community_length = sizeof community;
  pdu->transid = snmp_get_next_transid();
  pdu->version = session->version;
  data = snmp_comstr_parse(data, &size, community, &community_length, &pdu->version);
  if (data == nullptr || pdu->version != session->version) return -1;
  pdu->securityLevel = SNMP_SEC_LEVEL_NOAUTH;
  pdu->securityModel = SNMP_SEC_MODEL_SNMPv2c;
  if (community_length != 0) {
    pdu->community = static_cast<u_char*>(std::malloc(community_length));
    Check(pdu->community != nullptr, "out of memory");
    std::memcpy(pdu->community, community, community_length);
    pdu->community_len = community_length;
  }
  return snmp_pdu_parse(pdu, data, &size) < 0 ? -1 : 0;
#endif
}

// The parsed PDU as the driver receives it, or null when net-snmp refuses
// the message. The receive path parses into a zeroed PDU, and the
// synchronous request call hands the driver a clone of it.
netsnmp_pdu* ParseAsReceived(const std::uint8_t* data, std::size_t size) {
  netsnmp_session session = SessionTemplate();
  // An exact-size copy: net-snmp parses from a mutable buffer, the input
  // must stay untouched, and a read past the end must hit a redzone.
  std::unique_ptr<u_char[]> message(new u_char[size]);
  if (size != 0) std::memcpy(message.get(), data, size);

  auto* parsed = static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu)));
  Check(parsed != nullptr, "out of memory");
  if (ParseMessage(&session, parsed, message.get(), size) != 0) {
    snmp_free_pdu(parsed);
    return nullptr;
  }
  netsnmp_pdu* received = snmp_clone_pdu(parsed);
  snmp_free_pdu(parsed);
  return received;
}

// net-snmp is not instrumented, so libFuzzer sees nothing of the parser
// itself. Branching on the shape of what it produced (value types, value
// lengths, a missing value) gives the fuzzer feedback for PDUs of new kinds.
volatile int shape;

void NoteShape(const netsnmp_pdu& pdu) {
  int seen = 0;
  for (const netsnmp_variable_list* v = pdu.variables; v != nullptr && seen < 4;
       v = v->next_variable, ++seen) {
    switch (v->type) {
      case ASN_INTEGER:
        shape = 1;
        break;
      case ASN_BIT_STR:
        shape = 2;
        break;
      case ASN_OCTET_STR:
        shape = 3;
        break;
      case ASN_NULL:
        shape = 4;
        break;
      case ASN_OBJECT_ID:
        shape = 5;
        break;
      case ASN_IPADDRESS:
        shape = 6;
        break;
      case ASN_COUNTER:
        shape = 7;
        break;
      case ASN_GAUGE:
        shape = 8;
        break;
      case ASN_TIMETICKS:
        shape = 9;
        break;
      case ASN_OPAQUE:
        shape = 10;
        break;
      case ASN_COUNTER64:
        shape = 11;
        break;
      case ASN_OPAQUE_COUNTER64:
        shape = 12;
        break;
      case ASN_OPAQUE_FLOAT:
        shape = 13;
        break;
      case ASN_OPAQUE_DOUBLE:
        shape = 14;
        break;
      case ASN_OPAQUE_I64:
        shape = 15;
        break;
      case ASN_OPAQUE_U64:
        shape = 16;
        break;
      case SNMP_NOSUCHOBJECT:
        shape = 17;
        break;
      case SNMP_NOSUCHINSTANCE:
        shape = 18;
        break;
      case SNMP_ENDOFMIBVIEW:
        shape = 19;
        break;
      default:
        shape = 20;
        break;
    }
    if (v->val.string == nullptr) {
      shape = 21;
    } else if (v->val_len == 0) {
      shape = 22;
    } else if (v->val_len == sizeof(float)) {
      shape = 23;
    } else if (v->val_len > sizeof(v->buf)) {
      shape = 24;
    }
  }
}

SNMP_VARNO_PDU_Data_t SentinelRecord() {
  SNMP_VARNO_PDU_Data_t record;
  std::memset(&record, 0xFF, sizeof record);
  return record;
}

const unsigned char* Bytes(const SNMP_VARNO_PDU_Data_t& record) {
  return reinterpret_cast<const unsigned char*>(&record);
}

}  // namespace

void InitWalkResponseInput() { SessionTemplate(); }

WalkResponseOutcome RunWalkResponseInput(const std::uint8_t* data, std::size_t size) {
  WalkResponseOutcome outcome;
  netsnmp_pdu* response = ParseAsReceived(data, size);
  if (response == nullptr) return outcome;
  outcome.parsed = true;
  NoteShape(*response);

  const SNMP_VARNO_PDU_Data_t before = SentinelRecord();
  SNMP_VARNO_PDU_Data_t record = before;
  oid cursor[MAX_OID_LEN] = {};
  std::copy(std::begin(kTableRoot), std::end(kTableRoot), cursor);
  std::size_t cursor_length = kRootLength;

  outcome.step =
      pdu::ExamineResponse(*response, kTableRoot, kRootLength, cursor, &cursor_length, record);

  Check(cursor_length <= MAX_OID_LEN, "cursor longer than MAX_OID_LEN");
  Check(std::memcmp(Bytes(record), Bytes(before), sizeof record.data_id) == 0,
        "data_id written by a response");
  Check(std::memcmp(Bytes(record) + kTimeStampOffset, Bytes(before) + kTimeStampOffset,
                    sizeof record.ttime) == 0,
        "time stamp written by a response");
  outcome.record_changed = std::memcmp(Bytes(record), Bytes(before), sizeof record) != 0;

  if (outcome.step == pdu::WalkStep::kContinue) {
    Check(response->errstat == SNMP_ERR_NOERROR, "walk goes on after an error status");
    Check(cursor_length > kRootLength &&
              std::equal(std::begin(kTableRoot), std::end(kTableRoot), cursor),
          "walk goes on with the cursor outside the table");
    Check(snmp_oid_compare(cursor, cursor_length, kTableRoot, kRootLength) > 0,
          "walk goes on without the cursor moving forward");

    oid repeated_cursor[MAX_OID_LEN];
    std::copy(cursor, cursor + cursor_length, repeated_cursor);
    std::size_t repeated_length = cursor_length;
    SNMP_VARNO_PDU_Data_t scratch = record;
    Check(pdu::ExamineResponse(*response, kTableRoot, kRootLength, repeated_cursor,
                               &repeated_length, scratch) != pdu::WalkStep::kContinue,
          "the same response twice keeps the walk going");
  }

  snmp_free_pdu(response);
  return outcome;
}

}  // namespace fuzz
