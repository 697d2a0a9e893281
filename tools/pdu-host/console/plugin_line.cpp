#include "console/plugin_line.h"

#include <cctype>
#include <cstddef>
#include <optional>
#include <string>

namespace pdu_host {
namespace {

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

// The decimal number at `at`, and where it ends; none without digits or
// beyond 32 bits.
std::optional<unsigned int> NumberAt(const std::string& line, std::size_t at, std::size_t* end) {
  unsigned long long value = 0;
  std::size_t i = at;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && i - at < 10) {
    value = value * 10 + static_cast<unsigned>(line[i] - '0');
    ++i;
  }
  if (i == at || value > 0xFFFFFFFFull) return std::nullopt;
  *end = i;
  return static_cast<unsigned int>(value);
}

// "7 NMAlarmID is missing": a threshold rule without one of its members.
std::optional<unsigned int> MissingMemberId(const std::string& line) {
  std::size_t end = 0;
  const std::optional<unsigned int> id = NumberAt(line, 0, &end);
  if (!id) return std::nullopt;
  const std::string rest = line.substr(end);
  if (rest == " NMAlarmID is missing" || rest == " ID is missing" ||
      rest == " SignalNumber is missing") {
    return id;
  }
  return std::nullopt;
}

}  // namespace

LineKind ClassifyLine(const std::string& line) {
  if (line == "SNMP_VARNO_PDU::do_sample" || StartsWith(line, "InitSetting ") ||
      StartsWith(line, "here ") || StartsWith(line, "mobile:") || StartsWith(line, "rvSize is ") ||
      MissingMemberId(line)) {
    return LineKind::kTrace;
  }
  if (StartsWith(line, "Timeout: No Response from ")) return LineKind::kNoAnswer;
  if (StartsWith(line, "snmp get error ")) return LineKind::kRequestFailed;
  if (StartsWith(line, "snmpbulkwalk: ")) return LineKind::kNoSession;
  if (StartsWith(line, "SNMP_VARNO_PDU: device ")) {
    if (line.find(") walk ended: ") != std::string::npos) return LineKind::kWalkStopped;
    if (line.find(") sampling pass failed") != std::string::npos) return LineKind::kPassFailed;
    if (line.find(") not sampled: ") != std::string::npos) return LineKind::kNoSession;
    if (line.find(") refused by the PDU: ") != std::string::npos) return LineKind::kRefused;
    if (line.find(") answers with SNMP v3 engine ID ") != std::string::npos) {
      return LineKind::kSharedEngine;
    }
  }
  return LineKind::kOther;
}

std::optional<unsigned int> NamedDevice(const std::string& line) {
  constexpr char kInit[] = "InitSetting ";
  constexpr char kReport[] = "SNMP_VARNO_PDU: device ";
  std::size_t end = 0;
  if (StartsWith(line, kInit)) {
    const std::optional<unsigned int> id = NumberAt(line, sizeof kInit - 1, &end);
    if (id && line.compare(end, 9, " b_mode_:") == 0) return id;
    return std::nullopt;
  }
  if (StartsWith(line, kReport)) {
    const std::optional<unsigned int> id = NumberAt(line, sizeof kReport - 1, &end);
    if (id && line.compare(end, 2, " (") == 0) return id;
    return std::nullopt;
  }
  return MissingMemberId(line);
}

bool EndsWithoutAnswer(LineKind kind) {
  return kind == LineKind::kNoAnswer || kind == LineKind::kRequestFailed ||
         kind == LineKind::kNoSession || kind == LineKind::kRefused;
}

bool IsProblem(LineKind kind) {
  return kind != LineKind::kTrace && kind != LineKind::kSharedEngine && kind != LineKind::kOther;
}

}  // namespace pdu_host
