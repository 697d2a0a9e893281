#include "check/config_check.h"

#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "check/bounded_parallel.h"
#include "configuration/address_check.h"
#include "configuration/nearest_name.h"
#include "configuration/shown_address.h"
#include "device/config_member.h"
#include "driver/v3/snmp_credentials.h"

namespace pdu_host {
namespace {

constexpr std::size_t kLookupsAtOnce = 16;

const std::vector<std::string> kAppMembers = [] {
  std::vector<std::string> members = {"b_mode", "use_thread"};
  const std::vector<std::string>& credentials = pdu::CredentialMembers();
  members.insert(members.end(), credentials.begin(), credentials.end());
  return members;
}();
const std::vector<std::string> kRuleMembers = {"SignalName", "NMAlarmID", "ID", "SignalNumber"};
// The rule members that make up the alarm text; the plug-in names each one missing.
const char* const kAlarmTextMembers[] = {"NMAlarmID", "ID", "SignalNumber"};

std::string Kind(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return "null";
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
      return "a number";
    case Json::stringValue:
      return "a string";
    case Json::booleanValue:
      return value.asBool() ? "true" : "false";
    case Json::arrayValue:
      return "an array";
    case Json::objectValue:
      return "an object";
  }
  return "?";
}

// The value as written: strings quoted, other scalars as JSON has them.
std::string Written(const Json::Value& value) {
  return value.isString() ? "\"" + value.asString() + "\"" : value.asString();
}

std::string Trimmed(const std::string& text) {
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && space(text[begin])) ++begin;
  while (end > begin && space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool AllDigits(const std::string& text, bool sign) {
  std::size_t i = sign && !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// How a scalar reads by the atoi rule when that differs from what was
// written ("\"two\" reads as 0 (no digits)"); none when it reads as written.
std::optional<std::string> MisreadNumber(const Json::Value& value, int reading) {
  if (value.isIntegral() && !value.isBool()) return std::nullopt;
  if (value.isDouble() && value.asDouble() == reading) return std::nullopt;
  const std::string text = Trimmed(value.asString());
  if (value.isString() && AllDigits(text, true) && text.size() < 10) return std::nullopt;
  std::string why;
  std::size_t stop = 0;
  if (stop < text.size() && (text[stop] == '+' || text[stop] == '-')) ++stop;
  const std::size_t digits = stop;
  while (stop < text.size() && text[stop] >= '0' && text[stop] <= '9') ++stop;
  if (stop == digits) {
    why = "no digits";
  } else if (stop < text.size()) {
    why = "atoi stops at \"" + text.substr(stop) + "\"";
  } else {
    why = "out of range";
  }
  return Written(value) + " reads as " + std::to_string(reading) + " (" + why + ")";
}

// What a working mode does, for findings: "no alarm signals".
std::string ModeMeaning(int mode) {
  switch (mode) {
    case 2:
      return "the fourteen alarm signals";
    case 3:
      return "threshold rules, no alarm signals";
    default:
      return "no alarm signals";
  }
}

// For each device, the first earlier one whose address net-snmp sends to
// the same place (`keys`, LookUpAddress's; empty for none).
std::vector<std::optional<std::size_t>> SamePdus(const std::vector<std::string>& keys) {
  std::vector<std::optional<std::size_t>> same(keys.size());
  std::map<std::string, std::size_t> first;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].empty()) continue;
    const auto [it, fresh] = first.emplace(keys[i], i);
    if (!fresh) same[i] = it->second;
  }
  return same;
}

// The protocols and passphrases a v3 device's level uses.
std::string UserKeys(const pdu::SnmpCredentials& credentials) {
  std::string keys;
  if (credentials.level != pdu::SecurityLevel::kNoAuthNoPriv) {
    keys += credentials.auth_protocol + '\n' + credentials.auth_passphrase + '\n';
  }
  if (credentials.level == pdu::SecurityLevel::kAuthPriv) {
    keys += credentials.priv_protocol + '\n' + credentials.priv_passphrase;
  }
  return keys;
}

// For each device, an earlier one naming the same v3 user on the same PDU
// (`keys` as for SamePdus) with other protocols or passphrases: the PDU
// knows the user by one set, so it refuses one of the two.
std::vector<std::optional<std::size_t>> UserClashes(const std::vector<DeviceEntry>& entries,
                                                    const std::vector<std::string>& keys) {
  std::vector<std::optional<std::size_t>> clashes(entries.size());
  std::vector<pdu::CredentialsReading> readings;
  for (const DeviceEntry& entry : entries) readings.push_back(pdu::ReadCredentials(entry.config));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const pdu::SnmpCredentials& mine = readings[i].credentials;
    if (!mine.v3 || !readings[i].problems.empty() || keys[i].empty()) continue;
    for (std::size_t j = 0; j < i && !clashes[i]; ++j) {
      const pdu::SnmpCredentials& theirs = readings[j].credentials;
      if (theirs.v3 && readings[j].problems.empty() && keys[j] == keys[i] &&
          theirs.security_name == mine.security_name && UserKeys(theirs) != UserKeys(mine)) {
        clashes[i] = j;
      }
    }
  }
  return clashes;
}

// The mode of `path` when others than its owner may read it.
std::optional<std::string> ReadableByOthers(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || (status.st_mode & (S_IRGRP | S_IROTH)) == 0) {
    return std::nullopt;
  }
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
  return std::string(mode);
}

class DeviceChecker {
 public:
  DeviceChecker(const DeviceEntry& entry, std::vector<ConfigFinding>& findings)
      : entry_(entry), findings_(findings) {}

  void Members() { Unknown(entry_.config, "", DeviceMembers()); }

  void Address(const std::vector<AddressFinding>& address,
               const std::optional<std::size_t>& same_pdu,
               const std::vector<DeviceEntry>& entries) {
    if (same_pdu) {
      const DeviceEntry& first = entries[*same_pdu];
      Add("address", "polls the same PDU (" + ShownAddress(entry_.address) + ") as devices[" +
                         std::to_string(first.index) + "]" +
                         (first.id_valid ? " (id " + std::to_string(first.id) + ")" : "") +
                         ": both publish that PDU's table, usually a copy-paste slip; give "
                         "each device its own PDU's address");
    }
    for (const AddressFinding& finding : address) {
      Add("address",
          finding.text + (finding.stops_open ? ": net-snmp will not open it, so this device "
                                               "publishes no record"
                                             : ""));
    }
  }

  void AppSetting() {
    const Json::Value* app = config_member::Present(entry_.config, "appSetting");
    if (app == nullptr) return;
    if (!app->isObject()) {
      Add("appSetting", "is " + Kind(*app) +
                            ", not an object: nothing in it is read, so the device runs in mode "
                            "1 (" +
                            ModeMeaning(1) + "), polled, with SNMP v2c and the community tundra");
      return;
    }
    Unknown(*app, "appSetting.", kAppMembers);
    // An array or object is a structural finding already (host_config.h).
    const Json::Value* mode = config_member::Present(*app, "b_mode");
    if (mode != nullptr && !mode->isArray() && !mode->isObject()) {
      const std::optional<std::string> misread = MisreadNumber(*mode, entry_.b_mode);
      const bool valid = entry_.b_mode >= 1 && entry_.b_mode <= 3;
      if (misread || !valid) {
        std::string text = misread ? *misread : Written(*mode);
        if (valid) {
          text += ": the device runs in mode " + std::to_string(entry_.b_mode) + ", " +
                  ModeMeaning(entry_.b_mode);
        } else {
          text += misread ? ", which is" : " is";
          text += " not a mode (1, 2 or 3): the device acts as in mode 1, " + ModeMeaning(1);
        }
        Add("appSetting.b_mode", text + "; write \"1\", \"2\" or \"3\"");
      }
    }
    const Json::Value* thread = config_member::Present(*app, "use_thread");
    if (thread != nullptr && !thread->isArray() && !thread->isObject()) {
      const int reading = config_member::AtoiMember(*thread);
      if (const std::optional<std::string> misread = MisreadNumber(*thread, reading)) {
        Add("appSetting.use_thread", *misread +
                                         (reading == 0 ? ": the device is polled from the host"
                                                       : ": the device samples on its own thread") +
                                         "; write \"0\" (polled) or \"1\" (own thread)");
      }
    }
  }

  // Credentials as the plug-in reads them, and members its version ignores.
  // A finding never holds a member's value: it may be a secret.
  void Credentials(const std::optional<std::size_t>& clash) {
    if (clash) {
      Add("appSetting.security_name",
          "the same user on the same PDU as devices[" + std::to_string(*clash) +
              "], with other protocols or passphrases: the PDU knows the user by one set, so it "
              "refuses at least one of the two devices; give both the PDU's");
    }
    const Json::Value* app = config_member::PresentObject(entry_.config, "appSetting");
    if (app == nullptr) return;
    const pdu::CredentialsReading reading = pdu::ReadCredentials(entry_.config);
    for (const pdu::CredentialProblem& problem : reading.problems) {
      Add(problem.member, problem.text + " (until then the device publishes no record)");
    }
    const pdu::SnmpCredentials& credentials = reading.credentials;
    if (credentials.v3 && config_member::Present(*app, "community")) {
      Add("appSetting.community",
          "is read for SNMP v2c only, and this device speaks v3 (snmp_version \"3\"): remove it");
    }
    if (credentials.v3 && credentials.level == pdu::SecurityLevel::kNoAuthNoPriv) {
      for (const char* member : {"auth_passphrase", "priv_passphrase"}) {
        if (config_member::Present(*app, member)) {
          Add(std::string("appSetting.") + member,
              "is given, but security_level noAuthNoPriv uses no passphrase: remove it or "
              "raise the level");
        }
      }
    }
  }

  void ThresholdSetting() {
    const Json::Value* rules = config_member::Present(entry_.config, "thresholdSetting");
    if (entry_.b_mode != 3) {
      if (rules != nullptr && (!rules->isObject() || !rules->empty())) {
        Add("thresholdSetting",
            std::string(rules->isObject() ? "holds rules" : "is " + Kind(*rules)) +
                ", but rules are read in b_mode 3 only (this device: mode " +
                std::to_string(entry_.b_mode) + "): ignored");
      }
      return;
    }
    if (rules == nullptr) {
      Add("thresholdSetting",
          "missing, though b_mode 3 reads its threshold rules from it: the device builds none");
      return;
    }
    if (!rules->isObject()) {
      Add("thresholdSetting", "is " + Kind(*rules) + ", not an object of rules: no rule is read");
      return;
    }
    for (auto it = rules->begin(); it != rules->end(); ++it) Rule(it.name(), *it);
  }

 private:
  void Add(const std::string& path, const std::string& text) {
    findings_.push_back({entry_.index,
                         entry_.id_valid ? std::optional<unsigned int>(entry_.id) : std::nullopt,
                         path, text, false});
  }

  void Unknown(const Json::Value& object, const std::string& prefix,
               const std::vector<std::string>& known) {
    for (const std::string& name : object.getMemberNames()) {
      bool is_known = false;
      for (const std::string& k : known) is_known = is_known || k == name;
      if (is_known) continue;
      const std::optional<std::string> nearest = NearestName(name, known);
      std::string text = "unknown member, not read";
      if (nearest) {
        text += ": did you mean " + *nearest + "?";
        // What the device does without the member meant, unless it is there too.
        const std::string without = Without(prefix + *nearest);
        if (!without.empty() && config_member::Present(object, nearest->c_str()) == nullptr) {
          text += " Without " + *nearest + ", " + without;
        }
      }
      Add(prefix + name, text);
    }
  }

  // What the device does when the member at `path` is absent; empty when
  // another finding says so (address, id, the parts of an alarm text) or
  // nothing changes.
  std::string Without(const std::string& path) const {
    const std::string mode = "the device runs in mode 1: " + ModeMeaning(1);
    if (path == "appSetting") {
      return mode + ", polled from the host, speaking SNMP v2c with the community tundra";
    }
    if (path == "appSetting.b_mode") return mode;
    if (path == "appSetting.use_thread") return "the device is polled from the host";
    if (path == "thresholdSetting") {
      return entry_.b_mode == 3 ? "the device builds no threshold rules"
                                : "nothing changes: threshold rules are read in b_mode 3 only";
    }
    if (path.rfind("thresholdSetting.", 0) == 0 && path.size() > 11 &&
        path.compare(path.size() - 11, 11, ".SignalName") == 0) {
      return "the rule has no signal name";
    }
    static const std::pair<const char*, const char*> kCredentialDefaults[] = {
        {"appSetting.snmp_version", "the device speaks SNMP v2c"},
        {"appSetting.community", "the device uses the community tundra"},
        {"appSetting.security_name", "an SNMP v3 device has no user and is not sampled"},
        {"appSetting.security_level",
         "the level is the one the other members ask for: authPriv with a priv member, "
         "authNoPriv with an auth member, noAuthNoPriv with neither"},
        {"appSetting.auth_protocol", "SHA is used"},
        {"appSetting.auth_passphrase",
         "a level that needs authentication publishes nothing; without one there is none"},
        {"appSetting.priv_protocol", "AES (AES-128) is used"},
        {"appSetting.priv_passphrase",
         "a level that needs privacy publishes nothing; without one there is none"},
        {"appSetting.context_name", "the context is empty"},
    };
    for (const auto& [member, text] : kCredentialDefaults) {
      if (path == member) return text;
    }
    return "";
  }

  void Rule(const std::string& key, const Json::Value& rule) {
    const std::string path = "thresholdSetting." + key;
    if (!rule.isObject()) {
      Add(path, "is " + Kind(rule) + ", not an object: the rule is skipped");
      return;
    }
    Unknown(rule, path + ".", kRuleMembers);
    for (const std::string& name : kRuleMembers) {
      const Json::Value* member = config_member::Present(rule, name.c_str());
      if (member != nullptr && (member->isArray() || member->isObject())) {
        Add(path + "." + name, "is " + Kind(*member) +
                                   ", not text: the plug-in's InitSetting fails here, before the "
                                   "host reads the address");
      }
    }
    for (const char* name : kAlarmTextMembers) {
      const Json::Value* member = config_member::Present(rule, name);
      if (member == nullptr) {
        Add(path + "." + name, "missing: the rule's alarm text gets an empty part");
      } else if (!member->isArray() && !member->isObject() &&
                 !(member->isIntegral() && !member->isBool()) &&
                 !AllDigits(Trimmed(member->asString()), false)) {
        Add(path + "." + name,
            Written(*member) + " is not a number: the rule's alarm text carries it as written");
      }
    }
  }

  const DeviceEntry& entry_;
  std::vector<ConfigFinding>& findings_;
};

}  // namespace

std::vector<ConfigFinding> CheckDevices(const std::vector<DeviceEntry>& entries,
                                        bool look_up_names) {
  std::vector<std::vector<AddressFinding>> addresses(entries.size());
  std::vector<std::string> keys(entries.size());
  ForEachAtOnce(entries.size(), kLookupsAtOnce, [&](std::size_t i) {
    // A missing address is a structural finding; there is nothing to look at.
    if (!entries[i].address_valid) return;
    AddressLookup lookup = LookUpAddress(entries[i].address, look_up_names);
    addresses[i] = std::move(lookup.findings);
    keys[i] = std::move(lookup.pdu_key);
  });
  const std::vector<std::optional<std::size_t>> clashes = UserClashes(entries, keys);
  const std::vector<std::optional<std::size_t>> same_pdus = SamePdus(keys);
  std::vector<ConfigFinding> findings;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    DeviceChecker check(entries[i], findings);
    check.Members();
    check.Address(addresses[i], same_pdus[i], entries);
    check.AppSetting();
    check.Credentials(clashes[i]);
    check.ThresholdSetting();
  }
  return findings;
}

std::vector<std::string> ReadableSecrets(const HostConfig& config, const std::string& config_path) {
  std::vector<std::string> lines;
  bool secrets = false;
  for (const DeviceEntry& entry : config.entries) {
    const pdu::SnmpCredentials credentials = pdu::ReadCredentials(entry.config).credentials;
    secrets = secrets || credentials.community != pdu::kDefaultCommunity ||
              !credentials.auth_passphrase.empty() || !credentials.priv_passphrase.empty();
  }
  const auto exposed = [&lines](const std::string& file, const std::string& what,
                                const std::string& path) {
    if (const std::optional<std::string> mode = ReadableByOthers(path)) {
      lines.push_back(file + " holds " + what + " and can be read by others than its owner (mode " +
                      *mode + "): chmod 600 " + path);
    }
  };
  if (secrets && !config_path.empty()) {
    exposed("config file " + config_path, "secrets (a community other than tundra, or passphrases)",
            config_path);
  }
  for (const SecretFile& file : config.secret_files) {
    exposed(file.option + " " + file.path, "a secret", file.path);
  }
  return lines;
}

}  // namespace pdu_host
