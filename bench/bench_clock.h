// pdu-bench: the clock every figure is timed with, and durations as numbers.
#pragma once

#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}
inline double Ms(double seconds) { return seconds * 1e3; }

}  // namespace bench
