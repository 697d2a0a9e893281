// Invariant checks of the fuzz inputs.
//
// A broken invariant is reported on stderr and aborts the process: libFuzzer
// then saves the input as a reproducer, and the corpus regression test run
// under CTest fails on it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void Check(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", invariant);
  std::abort();
}

}  // namespace fuzz
