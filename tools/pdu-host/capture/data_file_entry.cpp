#include "capture/data_file_entry.h"

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>

#include "capture/value_bytes.h"
#include "common/record_text.h"

namespace pdu_host {
namespace {

// snmpd reads a backend's value line into 4 KiB, and hex takes three
// characters a byte; longer strings are not served whole.
constexpr std::size_t kMaxOctets = 1024;

std::optional<std::string> Octets(const char* type, const netsnmp_variable_list& binding) {
  if (binding.val_len > kMaxOctets || (binding.val_len != 0 && binding.val.string == nullptr)) {
    return std::nullopt;
  }
  if (binding.val_len == 0) return std::string(type);
  return std::string(type) + " " + HexText(binding.val.string, binding.val_len, " ");
}

std::optional<std::string> OctetString(const netsnmp_variable_list& binding) {
  if (binding.val.string != nullptr && binding.val_len <= kMaxOctets &&
      IsPlainText(binding.val.string, binding.val_len)) {
    return "string " +
           std::string(reinterpret_cast<const char*>(binding.val.string), binding.val_len);
  }
  return Octets("octet", binding);
}

// A special type's Opaque wrapping, served by the simulator as "opaque".
std::optional<std::string> OpaqueSpecial(const netsnmp_variable_list& binding) {
  const auto wrapping = OpaqueWrapping(binding);
  if (!wrapping) return std::nullopt;
  return "opaque " + HexText(wrapping->data(), wrapping->size(), " ");
}

// "<type> <text>"; none without a text.
std::optional<std::string> Entry(const char* type, const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string(type) + " " + *text;
}

}  // namespace

std::optional<std::string> DataFileEntry(const netsnmp_variable_list& binding) {
  switch (binding.type) {
    case ASN_INTEGER:
      return Entry("integer", Integer32Text(binding));
    case ASN_GAUGE:  // also Unsigned32: one tag, one text in snmpbulkwalk's output
      return Entry("gauge", Unsigned32Text(binding));
    case ASN_COUNTER:
      return Entry("counter", Unsigned32Text(binding));
    case ASN_TIMETICKS:
      return Entry("timeticks", Unsigned32Text(binding));
    case ASN_COUNTER64:
      return Entry("counter64", Counter64Text(binding));
    case ASN_IPADDRESS: {
      if (binding.val.string == nullptr || binding.val_len != 4) return std::nullopt;
      const u_char* a = binding.val.string;
      return "ipaddress " + std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
             std::to_string(a[2]) + "." + std::to_string(a[3]);
    }
    case ASN_OBJECT_ID:
      return Entry("objectid", ObjectIdText(binding));
    case ASN_OCTET_STR:
      return OctetString(binding);
    case ASN_OPAQUE:
      return Octets("opaque", binding);
    case ASN_OPAQUE_FLOAT:
      // A number reads better; a NaN keeps its exact bits only as bytes.
      if (binding.val.floatVal != nullptr && binding.val_len == sizeof(float) &&
          !std::isnan(*binding.val.floatVal)) {
        return "float " + FormatValue(*binding.val.floatVal);
      }
      return OpaqueSpecial(binding);
    default:
      return OpaqueSpecial(binding);
  }
}

}  // namespace pdu_host
