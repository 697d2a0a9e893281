// pdu-bench: order statistics of per-pass figures. Percentile interpolates
// linearly between the two nearest values (fraction 0 is the minimum, 1 the
// maximum); both give 0 for no values.
#pragma once

#include <vector>

namespace bench {

double Percentile(std::vector<double> values, double fraction);
double Median(const std::vector<double>& values);

}  // namespace bench
