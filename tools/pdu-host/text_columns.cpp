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
  for (const auto& row : rows) lines += LineInColumns(row, widths) + "\n";
  return lines;
}

std::string LineInColumns(const std::vector<std::string>& row,
                          const std::vector<std::size_t>& widths) {
  std::string line;
  for (std::size_t i = 0; i < row.size(); ++i) {
    // A cell wider than its column still keeps two spaces before the next.
    const std::size_t width = std::max(i < widths.size() ? widths[i] : 0, DisplayWidth(row[i]));
    line += i + 1 < row.size() ? PadRight(row[i], width + 2) : row[i];
  }
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

}  // namespace pdu_host
