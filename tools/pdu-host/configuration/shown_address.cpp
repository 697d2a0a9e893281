#include "configuration/shown_address.h"

#include <string>

#include "configuration/address_check.h"

namespace pdu_host {

std::string ShownAddress(const std::string& address) {
  const bool blanks = address.find_first_of(" \t\r\n\v\f") != std::string::npos;
  if (address.empty() || blanks) return "\"" + address + "\"";
  return AddressWithPort(address);
}

}  // namespace pdu_host
