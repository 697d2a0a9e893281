// The known name a mistyped one most likely meant, for "did you mean"
// hints: the smallest edit distance (insert, delete, replace, swap two
// neighbours; a name cut short counts as one edit), ignoring case and '_',
// within a third of the known name's length (at least 1, at most 3).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pdu_host {

// The nearest of `known` to `typed`; none when none is near enough.
std::optional<std::string> NearestName(const std::string& typed,
                                       const std::vector<std::string>& known);

}  // namespace pdu_host
