// How many walks may hold a socket at once: every walk of a survey keeps one
// descriptor open until it ends.
#pragma once

#include <cstddef>

namespace pdu_host {

struct DescriptorBudget {
  std::size_t limit = 0;  // the soft limit on open descriptors, after raising it
  std::size_t walks = 0;  // walks that fit beside the descriptors open now
};

// Raises the process's soft limit on open descriptors to its hard limit,
// then leaves room for those open now and for name lookups and files.
DescriptorBudget RaiseDescriptorLimit();

}  // namespace pdu_host
