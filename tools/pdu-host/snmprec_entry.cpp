#include "snmprec_entry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "served_object.h"
#include "value_bytes.h"

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

std::optional<std::string> Unsigned32(const char* tag, const netsnmp_variable_list& binding) {
  const std::optional<unsigned long> value = Unsigned32Value(binding);
  if (!value) return std::nullopt;
  return std::string(tag) + "|" + std::to_string(*value);
}

}  // namespace

std::optional<std::string> SnmprecEntry(const netsnmp_variable_list& binding) {
  switch (binding.type) {
    case ASN_INTEGER: {
      if (binding.val.integer == nullptr) return std::nullopt;
      const long value = *binding.val.integer;
      if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
      return "2|" + std::to_string(value);
    }
    case ASN_OCTET_STR:
      return OctetString(binding);
    case ASN_NULL:
      return std::string("5|");
    case ASN_OBJECT_ID: {
      const std::size_t count = binding.val_len / sizeof(oid);
      if (binding.val.objid == nullptr || binding.val_len % sizeof(oid) != 0 || count < 2) {
        return std::nullopt;
      }
      for (std::size_t i = 0; i < count; ++i) {
        if (binding.val.objid[i] > UINT32_MAX) return std::nullopt;
      }
      return "6|" + OidText(binding.val.objid, count);
    }
    case ASN_IPADDRESS:
      if (binding.val_len != 4) return std::nullopt;
      return Hex("64", binding.val.string, binding.val_len);
    case ASN_COUNTER:
      return Unsigned32("65", binding);
    case ASN_GAUGE:  // also Unsigned32: one tag
      return Unsigned32("66", binding);
    case ASN_TIMETICKS:
      return Unsigned32("67", binding);
    case ASN_OPAQUE:
      return Hex("68", binding.val.string, binding.val_len);
    case ASN_COUNTER64: {
      if (binding.val.counter64 == nullptr) return std::nullopt;
      const std::uint64_t value =
          (static_cast<std::uint64_t>(binding.val.counter64->high & 0xFFFFFFFFu) << 32) |
          (binding.val.counter64->low & 0xFFFFFFFFu);
      return "70|" + std::to_string(value);
    }
    default: {
      const auto wrapping = OpaqueWrapping(binding);
      if (!wrapping) return std::nullopt;
      return Hex("68", wrapping->data(), wrapping->size());
    }
  }
}

}  // namespace pdu_host
