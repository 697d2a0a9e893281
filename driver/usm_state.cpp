#include "driver/usm_state.h"

#include <map>
#include <set>
#include <string>
#include <utility>

#include "driver/netsnmp.h"

namespace pdu {
namespace {

struct UserEntry {
  std::string key_identity;  // the keys net-snmp's entry was made from
  std::set<const void*> owners;
};

// Leaked on purpose: devices may release their claims while the process
// ends, after static destructors would have run.
std::map<std::string, std::string>& EngineIds() {
  static auto* engines = new std::map<std::string, std::string>;
  return *engines;
}

std::map<std::pair<std::string, std::string>, UserEntry>& UserEntries() {
  static auto* entries = new std::map<std::pair<std::string, std::string>, UserEntry>;
  return *entries;
}

void RemoveNetSnmpUser(const std::string& engine_id, const std::string& user) {
  auto* engine = reinterpret_cast<u_char*>(const_cast<char*>(engine_id.data()));
  struct usmUser* entry = usm_get_user(engine, engine_id.size(), const_cast<char*>(user.c_str()));
  if (entry == nullptr) return;
  usm_remove_user(entry);
  usm_free_user(entry);
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

std::string KnownEngineId(const std::string& peer) {
  const auto found = EngineIds().find(peer);
  return found == EngineIds().end() ? std::string() : found->second;
}

void RememberEngineId(const std::string& peer, const std::string& engine_id) {
  EngineIds()[peer] = engine_id;
}

void ForgetEngineId(const std::string& peer) { EngineIds().erase(peer); }

bool ClaimUsmUser(const void* owner, const std::string& engine_id, const std::string& user,
                  const std::string& key_identity) {
  const auto [found, fresh] =
      UserEntries().emplace(std::make_pair(engine_id, user), UserEntry{key_identity, {}});
  UserEntry& entry = found->second;
  if (!fresh && entry.key_identity != key_identity) {
    for (const void* other : entry.owners) {
      if (other != owner) return false;
    }
    RemoveNetSnmpUser(engine_id, user);
    entry.key_identity = key_identity;
    entry.owners.clear();
  }
  entry.owners.insert(owner);
  return true;
}

void ReleaseUsmUsers(const void* owner) {
  for (auto& [key, entry] : UserEntries()) entry.owners.erase(owner);
}

}  // namespace pdu
