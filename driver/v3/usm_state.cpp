#include "driver/v3/usm_state.h"

#include <net-snmp/library/lcd_time.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "driver/snmp/peer_transport.h"

namespace pdu {
namespace {

// What the driver learned of one PDU's engine.
struct Peer {
  std::string engine_id;
  std::string shown;  // the name it was first reached by
  bool clock_known = false;
  EngineClock clock;
};

// How net-snmp's record of an engine's boots and time is used. While one
// PDU alone answers with the engine ID, the record is that PDU's, kept by
// net-snmp as it always keeps it; once a second PDU answers with it (or the
// record was someone else's first), it is lent for each call.
struct EngineUse {
  std::string resident;  // the PDU (its key) whose boots and time the record holds
  bool lent = false;
};

// Likewise net-snmp's user entry for an engine and user name: while one
// security alone uses it, its entry stays in net-snmp's list; once a second
// does (or the list held an entry of someone else's), each is lent.
struct UserUse {
  const SessionSecurity* resident = nullptr;
  bool lent = false;
};

// Per security, its user entries by engine ID: out of net-snmp's list but
// while lent, or while resident.
using UsersOfSecurity = std::map<std::string, struct usmUser*>;

// What the driver keeps beside net-snmp's lists. Leaked on purpose: devices
// may release their entries while the process ends, after static
// destructors would have run.
struct Kept {
  std::map<std::string, Peer> peers;
  std::map<std::string, EngineUse> engines;                         // by engine ID
  std::map<std::string, std::map<std::string, UserUse>> user_uses;  // by engine ID, user name
  std::map<const SessionSecurity*, UsersOfSecurity> users;
};

Kept& State() PDU_REQUIRES(NetSnmpMutex()) {
  static auto* kept = new Kept;
  return *kept;
}

u_char* Bytes(const std::string& text) {
  return reinterpret_cast<u_char*>(const_cast<char*>(text.data()));
}

std::string EngineOf(void* session) {
  const netsnmp_session* settings = snmp_sess_session(session);
  if (settings == nullptr || settings->securityEngineIDLen == 0) return std::string();
  return std::string(reinterpret_cast<const char*>(settings->securityEngineID),
                     settings->securityEngineIDLen);
}

// The PDU a session speaks to: its transport and remote address, so that
// two names of one PDU are one PDU; the peer name when there is no address.
std::string PeerKey(void* session) {
  const netsnmp_transport* transport = snmp_sess_transport(session);
  std::string address = transport != nullptr ? TransportKey(*transport) : std::string();
  if (!address.empty()) return address;
  const netsnmp_session* settings = snmp_sess_session(session);
  // Unlike a transport's key, never empty, and never the same as one.
  return std::string("name ") +
         (settings != nullptr && settings->peername != nullptr ? settings->peername : "");
}

std::string PeerName(void* session) {
  const netsnmp_session* settings = snmp_sess_session(session);
  return settings != nullptr && settings->peername != nullptr ? settings->peername : "";
}

enginetime_struct* Record(const std::string& engine_id) {
  return search_enginetime_list(Bytes(engine_id), engine_id.size());
}

EngineClock Read(const enginetime_struct& record) {
  return {record.engineBoot, record.engineTime, record.lastReceivedEngineTime,
          record.authenticatedFlag};
}

void Write(enginetime_struct& record, const EngineClock& clock) {
  record.engineBoot = clock.boots;
  record.engineTime = clock.time;
  record.lastReceivedEngineTime = clock.received;
  record.authenticatedFlag = clock.authenticated;
}

// Nothing known: boots and time 0, which the PDU answers with a report of
// its own, as net-snmp's tools start.
EngineClock Unknown() {
  EngineClock clock;
  clock.received = static_cast<time_t>(snmpv3_local_snmpEngineTime());
  return clock;
}

// `security`'s user entry for `engine_id`, made the first time from the keys
// of `session`, which was made with `security`; null when net-snmp cannot
// make it. net-snmp makes an entry only into its list, so any entry it holds
// for the user is set aside meanwhile.
struct usmUser* UserFor(void* session, const SessionSecurity& security,
                        const std::string& engine_id) PDU_REQUIRES(NetSnmpMutex()) {
  UsersOfSecurity& users = State().users[&security];
  if (const auto found = users.find(engine_id); found != users.end()) return found->second;
  // The open session's settings hold what net-snmp filled in as it opened
  // (the default protocols of a level that uses none); only read here.
  netsnmp_session scratch = *snmp_sess_session(session);
  scratch.flags &= ~SNMP_FLAGS_USER_CREATED;
  scratch.securityEngineID = Bytes(engine_id);
  scratch.securityEngineIDLen = engine_id.size();
  char* name = const_cast<char*>(security.user().c_str());
  struct usmUser* displaced = usm_get_user(Bytes(engine_id), engine_id.size(), name);
  if (displaced != nullptr) usm_remove_user(displaced);
  usm_create_user_from_session(&scratch);
  struct usmUser* made = usm_get_user(Bytes(engine_id), engine_id.size(), name);
  if (made != nullptr) usm_remove_user(made);
  if (displaced != nullptr) usm_add_user(displaced);
  if (made != nullptr) users.emplace(engine_id, made);
  return made;
}

// The driver's entry for the PDU keyed `key`, for the engine `engine_id`:
// begun anew when the PDU answered with another engine before.
Peer& PeerEntry(const std::string& key, const std::string& engine_id, void* session)
    PDU_REQUIRES(NetSnmpMutex()) {
  Peer& peer = State().peers[key];
  if (peer.engine_id != engine_id) peer = Peer{engine_id, PeerName(session), false, {}};
  return peer;
}

// Takes `entry` (`security`'s, for `engine_id`) out of net-snmp's list, where
// it is resident; false when the list no longer holds it (net-snmp shut down
// and freed it).
bool TakeResident(const std::string& engine_id, const SessionSecurity& security,
                  struct usmUser* entry) {
  if (usm_get_user(Bytes(engine_id), engine_id.size(),
                   const_cast<char*>(security.user().c_str())) != entry) {
    return false;
  }
  usm_remove_user(entry);
  return true;
}

// From now on each PDU answering with `engine_id` has its boots and time
// lent; the resident's go with it, taken from `record` (net-snmp's, for the
// engine) when `resident_kept` says the record is still the resident's.
void LendEngine(const std::string& engine_id, EngineUse& use, enginetime_struct* record,
                bool resident_kept) PDU_REQUIRES(NetSnmpMutex()) {
  const auto resident = State().peers.find(use.resident);
  if (resident != State().peers.end() && resident->second.engine_id == engine_id) {
    resident->second.clock_known = record != nullptr && resident_kept;
    if (resident->second.clock_known) resident->second.clock = Read(*record);
  }
  use.resident.clear();
  use.lent = true;
  // Between loans the record holds nobody's boots and time.
  if (record != nullptr) Write(*record, Unknown());
}

// The start-up steps registered to run once configuration files are read.
std::set<snmp_gen_callback*> StartUpSteps() {
  std::set<snmp_gen_callback*> steps;
  for (snmp_gen_callback* step =
           snmp_callback_list(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_POST_PREMIB_READ_CONFIG);
       step != nullptr; step = step->next) {
    steps.insert(step);
  }
  return steps;
}

}  // namespace

void PrepareUsm() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  if (find_sec_mod(USM_SEC_MODEL_NUMBER) != nullptr) return;
  // What init_snmp does for v3, without reading configuration files or
  // setting the locale: register USM, then run the start-up steps that
  // registering it added (the local engine ID; the salts and the user that
  // engine discovery answers to), and none of the others reading files would
  // run (certificates of the TLS transports, for one). Registering USM's
  // configuration words needs an application name, which init_snmp would
  // have set; it is set for this alone, as net-snmp's tools name theirs, so
  // that an init_snmp of the host's later still sets its own.
  const bool named = netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_APPTYPE);
  if (!named) netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_APPTYPE, "snmpapp");
  const std::set<snmp_gen_callback*> earlier = StartUpSteps();
  init_snmpv3(nullptr);
  for (snmp_gen_callback* step =
           snmp_callback_list(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_POST_PREMIB_READ_CONFIG);
       step != nullptr; step = step->next) {
    if (earlier.count(step) == 0) {
      step->sc_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_POST_PREMIB_READ_CONFIG, nullptr,
                        step->sc_client_arg);
    }
  }
  if (!named) netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_APPTYPE, nullptr);
}

std::string KnownEngineId(void* session) {
  const auto found = State().peers.find(PeerKey(session));
  return found == State().peers.end() ? std::string() : found->second.engine_id;
}

void ForgetPeerEngine(void* session) {
  const std::string key = PeerKey(session);
  const auto peer = State().peers.find(key);
  if (peer == State().peers.end()) return;
  const auto use = State().engines.find(peer->second.engine_id);
  if (use != State().engines.end() && use->second.resident == key) {
    // The next discovery's report is taken, even fewer boots than before (a
    // reset PDU), which net-snmp would otherwise refuse.
    if (enginetime_struct* record = Record(peer->second.engine_id)) Write(*record, Unknown());
    use->second.resident.clear();
  }
  State().peers.erase(peer);
}

void ReleaseUsmUsers(const SessionSecurity* security) {
  const auto found = State().users.find(security);
  if (found == State().users.end()) return;
  for (const auto& [engine_id, user] : found->second) {
    UserUse& use = State().user_uses[engine_id][security->user()];
    if (use.resident == security) {
      use.resident = nullptr;
      if (!TakeResident(engine_id, *security, user)) continue;  // net-snmp freed it
    }
    usm_free_user(user);
  }
  State().users.erase(found);
}

std::vector<std::string> PeersSharingEngine(void* session) {
  std::vector<std::string> others;
  const std::string key = PeerKey(session);
  const auto mine = State().peers.find(key);
  if (mine == State().peers.end() || mine->second.engine_id.empty()) return others;
  for (const auto& [other_key, other] : State().peers) {
    if (other_key != key && other.engine_id == mine->second.engine_id) {
      others.push_back(other.shown);
    }
  }
  return others;
}

std::string EngineIdText(const std::string& engine_id) {
  std::string text = "0x";
  for (const char byte : engine_id) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(byte));
    text += hex;
  }
  return text;
}

UsmLoan::UsmLoan(void* session, const SessionSecurity& security)
    : session_(session), peer_key_(PeerKey(session)), engine_id_(EngineOf(session)) {
  if (engine_id_.empty()) return;  // discovery: the engine is what the call learns
  EngineUse& engine = State().engines[engine_id_];
  if (!engine.lent && (engine.resident.empty() || engine.resident == peer_key_)) {
    engine.resident = peer_key_;  // the record is this PDU's, as net-snmp keeps it
  } else {
    record_ = Record(engine_id_);
    if (!engine.lent) LendEngine(engine_id_, engine, record_, true);  // a second PDU
    had_record_ = record_ != nullptr;
    if (had_record_) {
      before_ = Read(*record_);
    } else {
      set_enginetime(Bytes(engine_id_), engine_id_.size(), 0, 0, FALSE);
      record_ = Record(engine_id_);
    }
    if (record_ != nullptr) {
      const auto peer = State().peers.find(peer_key_);
      const bool known = peer != State().peers.end() && peer->second.engine_id == engine_id_ &&
                         peer->second.clock_known;
      Write(*record_, known ? peer->second.clock : Unknown());
    }
    lending_clock_ = true;
  }

  struct usmUser* entry = UserFor(session, security, engine_id_);
  if (entry == nullptr) return;
  UserUse& user = State().user_uses[engine_id_][security.user()];
  char* name = const_cast<char*>(security.user().c_str());
  if (!user.lent && user.resident == &security) return;  // in net-snmp's list already
  if (!user.lent && user.resident == nullptr) {
    if (usm_get_user(Bytes(engine_id_), engine_id_.size(), name) == nullptr) {
      usm_add_user(entry);
      user.resident = &security;
      return;
    }
    user.lent = true;  // the list holds someone else's entry for the user
  } else if (!user.lent) {
    // A second security: the resident's entry leaves the list, and each is
    // lent from now on.
    UsersOfSecurity& residents = State().users[user.resident];
    const auto resident = residents.find(engine_id_);
    if (resident != residents.end() &&
        !TakeResident(engine_id_, *user.resident, resident->second)) {
      residents.erase(resident);  // net-snmp freed it
    }
    user.resident = nullptr;
    user.lent = true;
  }
  lent_ = entry;
  displaced_ = usm_get_user(Bytes(engine_id_), engine_id_.size(), name);
  if (displaced_ != nullptr) usm_remove_user(displaced_);
  usm_add_user(lent_);
}

UsmLoan::~UsmLoan() {
  if (lent_ != nullptr) {
    usm_remove_user(lent_);
    if (displaced_ != nullptr) usm_add_user(displaced_);
  }
  if (engine_id_.empty()) {
    const std::string engine_id = EngineOf(session_);
    if (engine_id.empty()) return;  // no engine learned
    Discovered(engine_id);
    return;
  }
  if (!lending_clock_) return;
  Peer& peer = PeerEntry(peer_key_, engine_id_, session_);
  // net-snmp may have made the record the loan could not.
  if (record_ == nullptr) record_ = Record(engine_id_);
  if (record_ == nullptr) return;
  peer.clock_known = true;
  peer.clock = Read(*record_);
  Write(*record_, had_record_ ? before_ : Unknown());
}

void UsmLoan::Discovered(const std::string& engine_id) {
  Peer& peer = PeerEntry(peer_key_, engine_id, session_);
  EngineUse& engine = State().engines[engine_id];
  enginetime_struct* record = Record(engine_id);
  // net-snmp keeps a report's boots and time unless it holds an
  // authenticated record for the engine already.
  const bool report_kept = record != nullptr && record->authenticatedFlag == 0;
  peer.clock_known = false;
  if (!engine.lent && (engine.resident.empty() || engine.resident == peer_key_)) {
    if (report_kept || record == nullptr || !engine.resident.empty()) {
      engine.resident = peer_key_;
      return;
    }
    engine.lent = true;  // an authenticated record nobody of ours left: someone else's
    return;
  }
  peer.clock_known = report_kept;
  if (report_kept) peer.clock = Read(*record);
  if (!engine.lent) LendEngine(engine_id, engine, record, !report_kept);  // a second PDU
}

}  // namespace pdu
