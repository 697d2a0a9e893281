#include "capture/served_object.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "capture/data_file_entry.h"
#include "capture/snmprec_entry.h"
#include "capture/value_bytes.h"
#include "driver/walk/bulk_walk_step.h"

namespace pdu_host {
namespace {

// net-snmp's text for the value, as snmpbulkwalk prints it after the name:
// "TYPE: VALUE", "Opaque: TYPE: VALUE" for Opaque-wrapped values, or a bare
// word ("NULL"). No MIB is consulted, so the text follows the type alone.
std::string PrintedValue(const netsnmp_variable_list& binding) {
  std::size_t size = 256;
  std::size_t length = 0;
  auto* buffer = static_cast<u_char*>(std::malloc(size));
  if (buffer == nullptr) throw std::bad_alloc();
  const int ok =
      sprint_realloc_by_type(&buffer, &size, &length, 1, &binding, nullptr, nullptr, nullptr);
  const std::unique_ptr<u_char, decltype(&std::free)> owner(buffer, &std::free);
  if (!ok) return "(value net-snmp cannot print)";
  return std::string(reinterpret_cast<const char*>(buffer), length);
}

std::pair<std::string, std::string> SplitTypeAndValue(const std::string& printed) {
  std::size_t colon = printed.find(": ");
  if (colon != std::string::npos && printed.compare(0, colon, "Opaque") == 0) {
    colon = printed.find(": ", colon + 2);
  }
  if (colon == std::string::npos) return {printed, ""};
  std::string value = printed.substr(colon + 2);
  value.erase(value.find_last_not_of(' ') + 1);  // Hex-STRING ends in a space
  return {printed.substr(0, colon), value};
}

// A value may hold anything the agent sent: keep the table one line a row.
std::string EscapeControls(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      escaped += code;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace

ServedObject DescribeObject(const netsnmp_variable_list& binding, const oid* root,
                            std::size_t root_length) {
  ServedObject object;
  for (std::size_t i = root_length; i < binding.name_length; ++i) {
    object.suffix.push_back(binding.name[i]);
  }
  auto [type, value] = SplitTypeAndValue(PrintedValue(binding));
  // net-snmp 5.8 and 5.9 both label an Opaque double "Opaque: Float"; the
  // plug-in stores floats only, so the verdict must tell the two apart.
  if (binding.type == ASN_OPAQUE_DOUBLE) type = "Opaque: Double";
  // An OID value reads "iso.3.6..." where net-snmp reads MIBs (5.9 as Debian
  // builds it) and ".1.3.6..." where it cannot (5.8 as built here).
  if (binding.type == ASN_OBJECT_ID && binding.val.objid != nullptr) {
    value = OidText(binding.val.objid, binding.val_len / sizeof(oid));
  }
  object.type_name = EscapeControls(type);
  object.value_text = EscapeControls(value);
  SNMP_VARNO_PDU_Data_t scratch{};
  object.stored = pdu::StoreBinding(binding, root, root_length, scratch);
  object.data_entry = DataFileEntry(binding);
  object.snmprec_entry = SnmprecEntry(binding);
  return object;
}

std::string SuffixText(const std::vector<oid>& suffix) {
  if (suffix.empty()) return "(table root)";
  return OidText(suffix.data(), suffix.size());
}

}  // namespace pdu_host
