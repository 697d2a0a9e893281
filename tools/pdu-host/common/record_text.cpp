#include "common/record_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pdu_host {

std::string FormatTimeStamp(const unsigned char* ttime) {
  bool zero = true;
  for (int i = 0; i < 7; ++i) zero = zero && ttime[i] == 0;
  if (zero) return "no time stamp";
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u",
                static_cast<unsigned>(ttime[0] | (ttime[1] << 8)), ttime[2], ttime[3], ttime[4],
                ttime[5], ttime[6]);
  return text;
}

std::string FormatValue(float value) {
  // Not std::to_chars: the C++ runtime of the armhf build predates its float
  // overloads. The text must also survive a reader that parses it as a
  // double and rounds that to float (the simulator does): seventeen
  // significant digits always read back exact both ways.
  char text[48];
  if (!std::isfinite(value)) {
    std::snprintf(text, sizeof text, "%g", value);
    return text;
  }
  // Whole numbers below 1e15 are written out: "500", not "5e+02".
  const double magnitude = std::fabs(value);
  const int whole_digits =
      magnitude >= 1 && magnitude < 1e15 ? static_cast<int>(std::log10(magnitude)) + 1 : 1;
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", std::max(digits, whole_digits), value);
    if (std::strtof(text, nullptr) == value &&
        static_cast<float>(std::strtod(text, nullptr)) == value) {
      break;
    }
  }
  return text;
}

}  // namespace pdu_host
