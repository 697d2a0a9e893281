#include "data_file_entry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "record_report.h"
#include "served_object.h"
#include "value_bytes.h"

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

// A 32-bit unsigned value (Gauge32, Counter32, Timeticks) as net-snmp keeps it.
std::optional<std::string> Unsigned32(const char* type, const netsnmp_variable_list& binding) {
  const std::optional<unsigned long> value = Unsigned32Value(binding);
  if (!value) return std::nullopt;
  return std::string(type) + " " + std::to_string(*value);
}

}  // namespace

std::optional<std::string> DataFileEntry(const netsnmp_variable_list& binding) {
  switch (binding.type) {
    case ASN_INTEGER: {
      if (binding.val.integer == nullptr) return std::nullopt;
      const long value = *binding.val.integer;
      if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
      return "integer " + std::to_string(value);
    }
    case ASN_GAUGE:  // also Unsigned32: one tag, one text in snmpbulkwalk's output
      return Unsigned32("gauge", binding);
    case ASN_COUNTER:
      return Unsigned32("counter", binding);
    case ASN_TIMETICKS:
      return Unsigned32("timeticks", binding);
    case ASN_COUNTER64: {
      if (binding.val.counter64 == nullptr) return std::nullopt;
      const std::uint64_t value =
          (static_cast<std::uint64_t>(binding.val.counter64->high & 0xFFFFFFFFu) << 32) |
          (binding.val.counter64->low & 0xFFFFFFFFu);
      return "counter64 " + std::to_string(value);
    }
    case ASN_IPADDRESS: {
      if (binding.val.string == nullptr || binding.val_len != 4) return std::nullopt;
      const u_char* a = binding.val.string;
      return "ipaddress " + std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
             std::to_string(a[2]) + "." + std::to_string(a[3]);
    }
    case ASN_OBJECT_ID: {
      const std::size_t count = binding.val_len / sizeof(oid);
      if (binding.val.objid == nullptr || binding.val_len % sizeof(oid) != 0 || count < 2) {
        return std::nullopt;
      }
      for (std::size_t i = 0; i < count; ++i) {
        if (binding.val.objid[i] > UINT32_MAX) return std::nullopt;
      }
      return "objectid " + OidText(binding.val.objid, count);
    }
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
