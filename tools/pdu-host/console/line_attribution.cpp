#include "console/line_attribution.h"

#include <cctype>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "console/plugin_line.h"

namespace pdu_host {
namespace {

bool IsAddressChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == ':' || c == '-' ||
         c == '_' || c == '[' || c == ']';
}

// `line` names `address` as a whole word, not as part of a longer one
// ("127.0.0.1:1" is not named by "127.0.0.1:16161").
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
  for (const ConsoleDevice& device : devices) {
    Device& state = devices_[device.id];
    state.address = device.address;
    state.threaded = device.threaded;
  }
}

void LineAttribution::SetCalling(std::optional<unsigned int> id) {
  calling_ = id;
  if (!id) return;
  const auto found = devices_.find(*id);
  if (found != devices_.end()) found->second.started = true;
}

void LineAttribution::PassEnded(unsigned int id, Clock::time_point now) {
  const auto found = devices_.find(id);
  if (found != devices_.end() && found->second.threaded) {
    found->second.quiet_until = now + kQuietAfterPass;
  }
}

void LineAttribution::Stopped(unsigned int id) {
  const auto found = devices_.find(id);
  if (found != devices_.end()) found->second.stopped = true;
}

std::vector<unsigned int> LineAttribution::Candidates(const std::string& line,
                                                      Clock::time_point now) const {
  std::set<unsigned int> named;
  const std::optional<unsigned int> data_id = NamedDataId(line);
  for (const auto& [id, device] : devices_) {
    if (data_id == id ||
        (!data_id && !device.address.empty() && NamesAddress(line, device.address))) {
      named.insert(id);
    }
  }
  if (named.size() == 1) return {*named.begin()};

  const bool problem = IsProblem(ClassifyLine(line));
  std::set<unsigned int> writing;
  for (const auto& [id, device] : devices_) {
    const bool host_thread = calling_ == id;
    const bool own_thread =
        device.threaded && device.started && !device.stopped && now >= device.quiet_until;
    if ((host_thread || own_thread) && !(problem && device.address.empty())) writing.insert(id);
  }
  std::vector<unsigned int> candidates;
  if (!named.empty()) {  // devices sharing an address
    for (const unsigned int id : named) {
      if (writing.count(id) != 0) candidates.push_back(id);
    }
    if (candidates.empty()) candidates.assign(named.begin(), named.end());
    return candidates;
  }
  candidates.assign(writing.begin(), writing.end());
  if (candidates.empty() && problem) {
    for (const auto& [id, device] : devices_) {
      if (!device.address.empty()) candidates.push_back(id);
    }
  }
  return candidates;
}

std::string Alternatives(const std::vector<unsigned int>& ids) {
  std::string text;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i != 0) text += i + 1 == ids.size() ? " or " : ", ";
    text += std::to_string(ids[i]);
  }
  return text;
}

}  // namespace pdu_host
