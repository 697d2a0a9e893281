#include "common/text_columns.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pdu_host {
namespace {

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
         (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::string PadRight(const std::string& text, std::size_t width) {
  const std::size_t used = DisplayWidth(text);
  return used >= width ? text : text + std::string(width - used, ' ');
}

std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 1;
    if (i + length > utf8.size()) length = 1;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    width += IsWide(c) ? 2 : 1;
    i += length;
  }
  return width;
}

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
