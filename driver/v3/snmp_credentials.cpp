#include "driver/v3/snmp_credentials.h"

#include <strings.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "device/config_member.h"
#include "driver/snmp/netsnmp.h"

namespace pdu {
namespace {

// The names net-snmp's tools take after -a, -x and -l.
const std::vector<std::string> kAuthProtocols = {"MD5",     "SHA",     "SHA-224",
                                                 "SHA-256", "SHA-384", "SHA-512"};
const std::vector<std::string> kPrivProtocols = {"DES", "AES", "AES-192", "AES-256"};
const std::vector<std::string> kLevels = {"noAuthNoPriv", "authNoPriv", "authPriv"};
// A USM user or context name is an SnmpAdminString of at most 32 octets.
constexpr std::size_t kMaxAdminStringBytes = 32;

std::string Listed(const std::vector<std::string>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i != 0) text += i + 1 == words.size() ? " or " : ", ";
    text += words[i];
  }
  return text;
}

std::optional<std::size_t> WordIndex(const std::string& text,
                                     const std::vector<std::string>& words) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (strcasecmp(text.c_str(), words[i].c_str()) == 0 && text.size() == words[i].size()) {
      return i;
    }
  }
  return std::nullopt;
}

bool HasControlCharacter(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// The protocols of `words` the loaded net-snmp knows (its own lookup matches
// any prefix, so only whole names are asked for).
std::vector<std::string> Offered(const std::vector<std::string>& words, bool auth) {
  std::vector<std::string> offered;
  for (const std::string& word : words) {
    if ((auth ? usm_lookup_auth_type(word.c_str()) : usm_lookup_priv_type(word.c_str())) >= 0) {
      offered.push_back(word);
    }
  }
  return offered;
}

class Reader {
 public:
  Reader(const Json::Value& app, CredentialsReading& reading) : app_(app), reading_(reading) {}

  // The member's text; none when it is absent, or has no text (a problem).
  std::optional<std::string> Text(const char* name) {
    const Json::Value* member = config_member::Present(app_, name);
    if (member == nullptr) return std::nullopt;
    if (member->isArray() || member->isObject()) {
      Problem(name, std::string("is ") + (member->isArray() ? "an array" : "an object") +
                        ", not text: write it as a string");
      return std::nullopt;
    }
    return member->asString();
  }

  bool Present(const char* name) const { return config_member::Present(app_, name) != nullptr; }

  // The first of `names` present; null when none is.
  const char* FirstPresent(std::initializer_list<const char*> names) const {
    for (const char* name : names) {
      if (Present(name)) return name;
    }
    return nullptr;
  }

  // The word of `words` the member spells, in any case.
  std::optional<std::string> Word(const char* name, const std::vector<std::string>& words) {
    const std::optional<std::string> text = Text(name);
    if (!text) return std::nullopt;
    if (const std::optional<std::size_t> index = WordIndex(*text, words)) return words[*index];
    Problem(name, "is not one of " + Listed(words) + " (any case): write one of them");
    return std::nullopt;
  }

  std::optional<std::string> AdminString(const char* name, const char* what) {
    std::optional<std::string> text = Text(name);
    if (!text) return std::nullopt;
    if (text->size() > kMaxAdminStringBytes || HasControlCharacter(*text)) {
      Problem(name, std::string("is not a valid ") + what +
                        ": SNMP v3 takes at most 32 bytes of printable text");
      return std::nullopt;
    }
    return text;
  }

  std::optional<std::string> Passphrase(const char* name) {
    std::optional<std::string> text = Text(name);
    if (text && text->size() < kMinPassphraseBytes) {
      Problem(name, "is shorter than 8 characters: net-snmp derives no key from it");
    }
    return text;
  }

  void Offered(const char* name, const std::string& protocol, bool auth,
               const std::vector<std::string>& words) {
    const std::vector<std::string> offered = pdu::Offered(words, auth);
    if (WordIndex(protocol, offered)) return;
    Problem(name,
            protocol + " is not offered by the loaded net-snmp (built without it)" +
                (offered.empty() ? std::string(": it offers none") : ": write " + Listed(offered)) +
                ", or load a net-snmp that offers it");
  }

  void Problem(const char* name, std::string text) {
    reading_.problems.push_back({std::string("appSetting.") + name, std::move(text)});
  }

 private:
  const Json::Value& app_;
  CredentialsReading& reading_;
};

void ReadV3(Reader& read, SnmpCredentials& credentials) {
  const std::optional<std::string> name = read.AdminString("security_name", "user name");
  if (name && !name->empty()) {
    credentials.security_name = *name;
  } else if (!name) {
    read.Problem("security_name", "missing: SNMP v3 needs the PDU's user name");
  } else {
    read.Problem("security_name", "is empty: SNMP v3 needs the PDU's user name");
  }
  if (const auto context = read.AdminString("context_name", "context name")) {
    credentials.context_name = *context;
  }
  const std::optional<std::string> auth_protocol = read.Word("auth_protocol", kAuthProtocols);
  if (auth_protocol) credentials.auth_protocol = *auth_protocol;
  const std::optional<std::string> priv_protocol = read.Word("priv_protocol", kPrivProtocols);
  if (priv_protocol) credentials.priv_protocol = *priv_protocol;
  const std::optional<std::string> auth = read.Passphrase("auth_passphrase");
  const std::optional<std::string> priv = read.Passphrase("priv_passphrase");
  if (auth) credentials.auth_passphrase = *auth;
  if (priv) credentials.priv_passphrase = *priv;

  // The level named, or else the one the members given ask for: a missing
  // passphrase never reads as a wish for less.
  const char* auth_asked = read.FirstPresent({"auth_protocol", "auth_passphrase"});
  const char* priv_asked = read.FirstPresent({"priv_protocol", "priv_passphrase"});
  std::string why;  // what asks for the level, for the problems below
  if (const auto level = read.Word("security_level", kLevels)) {
    credentials.level = static_cast<SecurityLevel>(*WordIndex(*level, kLevels));
    why = "security_level " + *level + " needs it";
  } else if (read.Present("security_level")) {
    return;  // named, but unreadable: that problem is enough
  } else if (priv_asked != nullptr) {
    credentials.level = SecurityLevel::kAuthPriv;
    why =
        std::string(priv_asked) + " is given, which asks for privacy and authentication (authPriv)";
  } else if (auth_asked != nullptr) {
    credentials.level = SecurityLevel::kAuthNoPriv;
    why = std::string(auth_asked) + " is given, which asks for authentication (authNoPriv)";
  }
  const bool inferred = !read.Present("security_level");
  if (credentials.level != SecurityLevel::kNoAuthNoPriv && !auth) {
    read.Problem("auth_passphrase", "missing, though " + why +
                                        (inferred ? ": give it, or write security_level "
                                                    "noAuthNoPriv for a user without passphrases"
                                                  : ""));
  }
  if (credentials.level == SecurityLevel::kAuthPriv && !priv) {
    read.Problem("priv_passphrase",
                 "missing, though " + why +
                     (inferred ? ": give it, or write security_level authNoPriv for "
                                 "authentication alone"
                               : ""));
  }

  if (credentials.level != SecurityLevel::kNoAuthNoPriv) {
    read.Offered("auth_protocol", credentials.auth_protocol, true, kAuthProtocols);
  }
  if (credentials.level == SecurityLevel::kAuthPriv) {
    read.Offered("priv_protocol", credentials.priv_protocol, false, kPrivProtocols);
  }
}

}  // namespace

const std::vector<std::string>& CredentialMembers() {
  static const std::vector<std::string> members = {
      "snmp_version",    "community",     "security_name",   "security_level", "auth_protocol",
      "auth_passphrase", "priv_protocol", "priv_passphrase", "context_name"};
  return members;
}

CredentialsReading ReadCredentials(const Json::Value& config) {
  CredentialsReading reading;
  const Json::Value* app = config_member::PresentObject(config, "appSetting");
  if (app == nullptr) return reading;
  Reader read(*app, reading);
  const std::optional<std::string> version = read.Text("snmp_version");
  if (!version && read.Present("snmp_version")) return reading;  // not text: said so
  if (version) {
    if (WordIndex(*version, {"2c"})) {
      reading.credentials.v3 = false;
    } else if (*version == "3") {
      reading.credentials.v3 = true;
    } else {
      read.Problem("snmp_version", "is not \"2c\" or \"3\", the versions the plug-in speaks");
      return reading;
    }
  }
  if (!reading.credentials.v3) {
    // v3 members in a v2c configuration: whoever wrote them meant v3, and
    // v2c would send the community in clear text instead.
    for (const std::string& member : V3Members()) {
      if (!read.Present(member.c_str())) continue;
      read.Problem("snmp_version",
                   (version ? std::string("is \"2c\"") : std::string("missing")) +
                       ", though appSetting names " + member +
                       ", which only SNMP v3 reads: the device samples nothing rather than "
                       "speak v2c; write snmp_version \"3\", or remove the v3 members");
      return reading;
    }
  }
  if (const std::optional<std::string> community = read.Text("community")) {
    reading.credentials.community = *community;
  }
  if (reading.credentials.v3) ReadV3(read, reading.credentials);
  return reading;
}

const std::vector<std::string>& V3Members() {
  static const std::vector<std::string> members = {
      "security_name", "security_level",  "auth_protocol", "auth_passphrase",
      "priv_protocol", "priv_passphrase", "context_name"};
  return members;
}

const char* LevelName(SecurityLevel level) {
  switch (level) {
    case SecurityLevel::kNoAuthNoPriv:
      return "noAuthNoPriv";
    case SecurityLevel::kAuthNoPriv:
      return "authNoPriv";
    case SecurityLevel::kAuthPriv:
      return "authPriv";
  }
  return "?";
}

}  // namespace pdu
