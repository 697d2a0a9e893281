// Running independent tasks side by side, a bounded number at once: a site's
// PDUs are walked (or their names looked up) together, so that one that does
// not answer costs one time-out, not one per PDU.
#pragma once

#include <cstddef>
#include <functional>

namespace pdu_host {

// Runs task(0) ... task(count - 1) on at most `at_once` threads of its own
// and returns once every task has run and every thread is joined. A task's
// exception is rethrown then (the first one), and the tasks not yet started
// are skipped.
void ForEachAtOnce(std::size_t count, std::size_t at_once,
                   const std::function<void(std::size_t)>& task);

}  // namespace pdu_host
