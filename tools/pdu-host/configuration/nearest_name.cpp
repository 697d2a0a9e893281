#include "configuration/nearest_name.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

namespace pdu_host {
namespace {

std::string Folded(const std::string& name) {
  std::string folded;
  for (const char c : name) {
    if (c != '_') folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return folded;
}

// Optimal string alignment distance.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t replace = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + replace});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> NearestName(const std::string& typed,
                                       const std::vector<std::string>& known) {
  // Names far longer than any key are not worth comparing.
  if (typed.size() > 64) return std::nullopt;
  const std::string folded = Folded(typed);
  std::optional<std::string> nearest;
  std::size_t best = 0;
  for (const std::string& name : known) {
    const std::string candidate = Folded(name);
    // A name cut short ("SignalNum") is as near as one typo.
    const bool cut_short = folded.size() >= 3 && candidate.rfind(folded, 0) == 0;
    const std::size_t distance = cut_short ? 1 : Distance(folded, candidate);
    const std::size_t allowed = std::clamp<std::size_t>(name.size() / 3, 1, 3);
    if (distance <= allowed && (!nearest || distance < best)) {
      nearest = name;
      best = distance;
    }
  }
  return nearest;
}

}  // namespace pdu_host
