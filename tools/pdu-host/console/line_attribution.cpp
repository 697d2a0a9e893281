#include "console/line_attribution.h"

#include <cctype>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "console/plugin_line.h"

namespace pdu_host {
namespace {

constexpr std::size_t kAlternativesNamed = 3;

bool IsAddressChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == ':' || c == '-' ||
         c == '_' || c == '[' || c == ']';
}

// `line` names `address` as a whole word, not as part of a longer one
// ("127.0.0.1:161" is not named by "127.0.0.1:1616").
bool NamesAddress(const std::string& line, const std::string& address) {
  for (std::size_t at = line.find(address); at != std::string::npos;
       at = line.find(address, at + 1)) {
    const std::size_t end = at + address.size();
    if ((at == 0 || !IsAddressChar(line[at - 1])) &&
        (end == line.size() || !IsAddressChar(line[end]))) {
      return true;
    }
  }
  return false;
}

}  // namespace

LineAttribution::LineAttribution(const std::vector<ConsoleDevice>& devices) {
  for (const ConsoleDevice& device : devices) addresses_[device.id] = device.address;
}

std::vector<unsigned int> LineAttribution::Devices(const std::string& line,
                                                   std::optional<unsigned int> writer) const {
  if (const std::optional<unsigned int> named = NamedDevice(line);
      named && addresses_.count(*named) != 0) {
    return {*named};
  }
  if (writer && addresses_.count(*writer) != 0) return {*writer};
  std::vector<unsigned int> devices;
  for (const auto& [id, address] : addresses_) {
    if (!address.empty() && NamesAddress(line, address)) devices.push_back(id);
  }
  return devices;
}

std::string Alternatives(const std::vector<unsigned int>& ids) {
  const bool cut = ids.size() > kAlternativesNamed + 1;
  const std::size_t named = cut ? kAlternativesNamed : ids.size();
  std::string text;
  for (std::size_t i = 0; i < named; ++i) {
    if (i != 0) text += (i + 1 == named && !cut) ? " or " : ", ";
    text += std::to_string(ids[i]);
  }
  if (cut) {
    text += " or " + std::to_string(ids.size() - named) + " others";
  }
  return text;
}

}  // namespace pdu_host
