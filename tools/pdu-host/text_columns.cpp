#include "text_columns.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "record_report.h"

namespace pdu_host {

std::string AlignedLines(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
  }
  std::string lines;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += i + 1 < row.size() ? PadRight(row[i], widths[i] + 2) : row[i];
    }
    line.erase(line.find_last_not_of(' ') + 1);
    lines += line + "\n";
  }
  return lines;
}

}  // namespace pdu_host
