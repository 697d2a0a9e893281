#include "percentile.h"

#include <algorithm>

namespace bench {

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double position = fraction * static_cast<double>(values.size() - 1);
  const std::size_t below = static_cast<std::size_t>(position);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double weight = position - static_cast<double>(below);
  return values[below] * (1.0 - weight) + values[above] * weight;
}

double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

}  // namespace bench
