#include "complain.h"

#include <cstdio>
#include <string>

namespace pdu_host {

void Complain(const std::string& message) {
  const std::string line = "pdu-host: " + message + "\n";
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace pdu_host
