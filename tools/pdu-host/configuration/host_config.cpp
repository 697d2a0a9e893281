#include "configuration/host_config.h"

#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <json/reader.h>

#include "common/file_io.h"
#include "configuration/nearest_name.h"
#include "device/config_member.h"

namespace pdu_host {
namespace {

// JsonCpp's multi-line error text as one line.
std::string OneLine(const std::string& text) {
  std::string line;
  bool space = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      space = !line.empty();
      continue;
    }
    if (space && c != ' ') line += ' ';
    space = false;
    if (c == ' ' && (line.empty() || line.back() == ' ')) continue;
    line += c;
  }
  if (line.rfind("* ", 0) == 0) line.erase(0, 2);
  return line;
}

// The member `key` of an object, null when absent; never adds it.
const Json::Value* Member(const Json::Value& object, const char* key) {
  return object.find(key, key + std::strlen(key));
}

std::string Describe(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return "null";
    case Json::intValue:
    case Json::uintValue:
      return "the integer " + value.asString();
    case Json::realValue:
      return "the number " + value.asString();
    case Json::stringValue:
      return "the string \"" + value.asString() + "\"";
    case Json::booleanValue:
      return value.asBool() ? "true" : "false";
    case Json::arrayValue:
      return "an array";
    case Json::objectValue:
      return "an object";
  }
  return "?";
}

const std::vector<std::string> kTopMembers = {"devices"};

// Reads the structure of one device object into `entry`, adding a finding
// for each mistake that stops a run.
class StructureReader {
 public:
  StructureReader(DeviceEntry& entry, std::vector<ConfigFinding>& findings)
      : entry_(entry), findings_(findings) {}

  void Id(const Json::Value& device, std::map<unsigned int, std::size_t>& first_use) {
    const Json::Value* id = Member(device, "id");
    // Integers only: JsonCpp would also take an integral real like 7.0.
    const bool integer =
        id != nullptr && (id->type() == Json::intValue || id->type() == Json::uintValue);
    if (!integer || !id->isUInt()) {
      entry_.id_valid = false;
      Add("id", id == nullptr ? "missing: each device needs its data identifier, an integer "
                                "from 0 to 4294967295, used by no other device"
                              : "must be an integer from 0 to 4294967295, not " + Describe(*id));
      return;
    }
    entry_.id = id->asUInt();
    if (const auto [it, fresh] = first_use.emplace(entry_.id, entry_.index); !fresh) {
      Add("id", std::to_string(entry_.id) + " is already used by devices[" +
                    std::to_string(it->second) + "]: each device needs an id of its own");
    }
  }

  void Address(const Json::Value& device) {
    const Json::Value* address = Member(device, "address");
    if (address == nullptr || !address->isString()) {
      entry_.address_valid = false;
      Add("address", address == nullptr
                         ? "missing: the PDU's address, e.g. \"192.0.2.10:161\", or \"\" for "
                           "a device that never samples"
                         : "must be a string, not " + Describe(*address));
      return;
    }
    entry_.address = address->asString();
  }

  // An app setting the plug-in reads with asString(): only arrays and
  // objects have no text form. Returns its atoi reading, `absent` when not
  // present or unreadable.
  int TextSetting(const Json::Value& device, const char* key, const char* example, int absent) {
    const Json::Value* app = config_member::PresentObject(device, "appSetting");
    if (app == nullptr) return absent;
    const Json::Value* member = config_member::Present(*app, key);
    if (member == nullptr) return absent;
    if (member->isArray() || member->isObject()) {
      Add(std::string("appSetting.") + key,
          "must be text or a number, not " + Describe(*member) +
              ": the plug-in's InitSetting fails on it; write it as text, e.g. \"" + example +
              "\"");
      return absent;
    }
    return config_member::AtoiMember(*member);
  }

 private:
  void Add(const std::string& path, const std::string& text) {
    findings_.push_back({entry_.index,
                         entry_.id_valid ? std::optional<unsigned int>(entry_.id) : std::nullopt,
                         path, text, true});
  }

  DeviceEntry& entry_;
  std::vector<ConfigFinding>& findings_;
};

// Members of the top level other than "devices", with the nearest name: of
// the top level, or of a device object when it is one of those.
void UnknownTopMembers(const Json::Value& root, std::vector<ConfigFinding>& findings) {
  for (const std::string& name : root.getMemberNames()) {
    if (name == "devices") continue;
    std::string text = "unknown member, not read";
    if (const auto nearest = NearestName(name, kTopMembers)) {
      text += ": did you mean " + *nearest + "?";
    } else if (const auto device_member = NearestName(name, DeviceMembers())) {
      text += ": " + *device_member + " belongs in each device object";
    }
    findings.push_back({std::nullopt, std::nullopt, name, text, false});
  }
}

}  // namespace

const std::vector<std::string>& DeviceMembers() {
  static const std::vector<std::string> members = {"id", "address", "appSetting",
                                                   "thresholdSetting"};
  return members;
}

bool HostConfig::Refused() const {
  for (const ConfigFinding& finding : findings) {
    if (finding.structural) return true;
  }
  return false;
}

HostConfig LoadHostConfig(const std::string& path) {
  std::string text;
  try {
    text = ReadWholeFile(path, kMaxConfigBytes, "config file");
  } catch (const FileError& e) {
    throw ConfigError(e.what());
  }
  return ParseHostConfig(text, "config file " + path);
}

DeviceEntry AddressDevice(const std::string& address,
                          const std::vector<std::pair<std::string, std::string>>& credentials) {
  DeviceEntry entry;
  entry.id = 1;
  entry.address = address;
  entry.b_mode = 2;
  entry.config["id"] = entry.id;
  entry.config["address"] = address;
  entry.config["appSetting"]["b_mode"] = "2";
  entry.config["appSetting"]["use_thread"] = "0";
  for (const auto& [member, text] : credentials) entry.config["appSetting"][member] = text;
  return entry;
}

HostConfig ParseHostConfig(const std::string& text, const std::string& source) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
    throw ConfigError(source + " is not valid JSON: " + OneLine(errors));
  }
  HostConfig config;
  const auto top = [&config](const std::string& path, const std::string& what) {
    config.findings.push_back({std::nullopt, std::nullopt, path, what, true});
  };
  if (!root.isObject()) {
    top("top level", "must be an object, {\"devices\": [...]}, not " + Describe(root));
    return config;
  }
  UnknownTopMembers(root, config.findings);
  const Json::Value* devices = Member(root, "devices");
  if (devices == nullptr) {
    top("devices", "missing: write {\"devices\": [{\"id\": 7, \"address\": \"192.0.2.10:161\"}]}");
    return config;
  }
  if (!devices->isArray()) {
    top("devices", "must be an array of device objects, not " + Describe(*devices));
    return config;
  }
  if (devices->empty()) {
    top("devices", "is empty: there is no device to run");
    return config;
  }

  std::map<unsigned int, std::size_t> first_use;
  for (Json::ArrayIndex i = 0; i < devices->size(); ++i) {
    const Json::Value& device = (*devices)[i];
    if (!device.isObject()) {
      config.findings.push_back(
          {i, std::nullopt, "", "must be an object, not " + Describe(device), true});
      continue;
    }
    DeviceEntry entry;
    entry.index = i;
    StructureReader read(entry, config.findings);
    read.Id(device, first_use);
    read.Address(device);
    entry.threaded = read.TextSetting(device, "use_thread", "0", 0) != 0;
    entry.b_mode = read.TextSetting(device, "b_mode", "2", 1);
    entry.config = device;
    config.entries.push_back(std::move(entry));
  }
  return config;
}

}  // namespace pdu_host
