// Rows of cells laid out in columns for a terminal.
#pragma once

#include <string>
#include <vector>

namespace pdu_host {

// Each cell padded to its column's widest (by terminal width, so wide
// characters line up), two spaces between columns, the last cell of a row
// unpadded and no trailing blanks; one line per row, each ending in '\n'.
std::string AlignedLines(const std::vector<std::vector<std::string>>& rows);

}  // namespace pdu_host
