#include "host_config.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <json/reader.h>

#include "device/config_member.h"
#include "file_io.h"

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

// An app setting the plug-in reads with asString(): only arrays and objects
// have no text form. Returns its atoi reading, `absent` when not present.
int TextSetting(const Json::Value& device, const char* key, int absent, const std::string& where) {
  const Json::Value* app = config_member::PresentObject(device, "appSetting");
  if (app == nullptr) return absent;
  const Json::Value* member = config_member::Present(*app, key);
  if (member == nullptr) return absent;
  if (member->isArray() || member->isObject()) {
    throw ConfigError(where + ": appSetting." + key + " must be text or a number, not " +
                      Describe(*member));
  }
  return config_member::AtoiMember(*member);
}

}  // namespace

std::vector<DeviceEntry> LoadHostConfig(const std::string& path) {
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

std::vector<DeviceEntry> ParseHostConfig(const std::string& text, const std::string& source) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
    throw ConfigError(source + " is not valid JSON: " + OneLine(errors));
  }
  if (!root.isObject()) throw ConfigError(source + ": the top level must be an object");
  const Json::Value* devices = Member(root, "devices");
  if (devices == nullptr) throw ConfigError(source + " has no \"devices\" array");
  if (!devices->isArray()) {
    throw ConfigError(source + ": \"devices\" must be an array, not " + Describe(*devices));
  }
  if (devices->empty()) throw ConfigError(source + ": \"devices\" is empty");

  std::vector<DeviceEntry> entries;
  std::map<unsigned int, std::size_t> first_use;
  for (Json::ArrayIndex i = 0; i < devices->size(); ++i) {
    const Json::Value& device = (*devices)[i];
    const std::string where = source + ": devices[" + std::to_string(i) + "]";
    if (!device.isObject()) {
      throw ConfigError(where + " must be an object, not " + Describe(device));
    }
    DeviceEntry entry;
    entry.index = i;
    const Json::Value* id = Member(device, "id");
    if (id == nullptr) throw ConfigError(where + " has no \"id\"");
    // Integers only: JsonCpp would also take an integral real like 7.0.
    const bool integer = id->type() == Json::intValue || id->type() == Json::uintValue;
    if (!integer || !id->isUInt()) {
      throw ConfigError(where + ": \"id\" must be an integer from 0 to 4294967295, not " +
                        Describe(*id));
    }
    entry.id = id->asUInt();
    if (const auto [it, fresh] = first_use.emplace(entry.id, i); !fresh) {
      throw ConfigError(where + ": id " + std::to_string(entry.id) +
                        " is already used by devices[" + std::to_string(it->second) + "]");
    }
    const Json::Value* address = Member(device, "address");
    if (address == nullptr) throw ConfigError(where + " has no \"address\"");
    if (!address->isString()) {
      throw ConfigError(where + ": \"address\" must be a string, not " + Describe(*address));
    }
    entry.address = address->asString();
    entry.threaded = TextSetting(device, "use_thread", 0, where) != 0;
    entry.b_mode = TextSetting(device, "b_mode", 1, where);
    entry.config = device;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace pdu_host
