#include "capture/snmprec_entry.h"

#include <cstddef>
#include <optional>
#include <string>

#include "capture/value_bytes.h"

namespace pdu_host {
namespace {

std::optional<std::string> Hex(const char* tag, const u_char* bytes, std::size_t length) {
  if (length == 0) return std::string(tag) + "|";
  if (bytes == nullptr) return std::nullopt;
  return std::string(tag) + "x|" + HexText(bytes, length, "");
}

// Printable text as it is (snmpsim reads the rest of the line as the value's
// bytes), anything else as hex.
std::optional<std::string> OctetString(const netsnmp_variable_list& binding) {
  if (binding.val.string != nullptr && IsPlainText(binding.val.string, binding.val_len)) {
    return "4|" + std::string(reinterpret_cast<const char*>(binding.val.string), binding.val_len);
  }
  return Hex("4", binding.val.string, binding.val_len);
}

// "<tag>|<text>"; none without a text.
std::optional<std::string> Entry(const char* tag, const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string(tag) + "|" + *text;
}

}  // namespace

std::optional<std::string> SnmprecEntry(const netsnmp_variable_list& binding) {
  switch (binding.type) {
    case ASN_INTEGER:
      return Entry("2", Integer32Text(binding));
    case ASN_OCTET_STR:
      return OctetString(binding);
    case ASN_NULL:
      return std::string("5|");
    case ASN_OBJECT_ID:
      return Entry("6", ObjectIdText(binding));
    case ASN_IPADDRESS:
      if (binding.val_len != 4) return std::nullopt;
      return Hex("64", binding.val.string, binding.val_len);
    case ASN_COUNTER:
      return Entry("65", Unsigned32Text(binding));
    case ASN_GAUGE:  // also Unsigned32: one tag
      return Entry("66", Unsigned32Text(binding));
    case ASN_TIMETICKS:
      return Entry("67", Unsigned32Text(binding));
    case ASN_OPAQUE:
      return Hex("68", binding.val.string, binding.val_len);
    case ASN_COUNTER64:
      return Entry("70", Counter64Text(binding));
    default: {
      const auto wrapping = OpaqueWrapping(binding);
      if (!wrapping) return std::nullopt;
      return Hex("68", wrapping->data(), wrapping->size());
    }
  }
}

}  // namespace pdu_host
