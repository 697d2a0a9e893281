// Rows of cells laid out in columns for a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pdu_host {

// Terminal columns `utf8` takes: East Asian wide characters count 2.
std::size_t DisplayWidth(std::string_view utf8);
// `text` followed by spaces up to `width` terminal columns.
std::string PadRight(const std::string& text, std::size_t width);

// Each cell padded to its column's widest (by terminal width, so wide
// characters line up), two spaces between columns, the last cell of a row
// unpadded and no trailing blanks; one line per row, each ending in '\n'.
std::string AlignedLines(const std::vector<std::vector<std::string>>& rows);

// One row laid out so in columns of the given widths (a cell wider than its
// column pushes the rest along, still two spaces apart), without '\n'.
std::string LineInColumns(const std::vector<std::string>& row,
                          const std::vector<std::size_t>& widths);

}  // namespace pdu_host
