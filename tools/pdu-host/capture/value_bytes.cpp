#include "capture/value_bytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace pdu_host {

std::string HexText(const u_char* bytes, std::size_t length, const char* separator) {
  std::string hex;
  for (std::size_t i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    if (i != 0) hex += separator;
    hex += pair;
  }
  return hex;
}

bool IsPlainText(const u_char* bytes, std::size_t length) {
  if (length == 0 || bytes[0] == ' ' || bytes[length - 1] == ' ') return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (bytes[i] < 0x20 || bytes[i] > 0x7E) return false;
  }
  return true;
}

std::optional<std::vector<u_char>> OpaqueWrapping(const netsnmp_variable_list& binding) {
  u_char built[32];
  std::size_t left = sizeof built;
  u_char* end = nullptr;
  if (binding.val.string == nullptr) return std::nullopt;
  switch (binding.type) {
    case ASN_OPAQUE_FLOAT:
      if (binding.val_len != sizeof(float)) return std::nullopt;
      end = asn_build_float(built, &left, binding.type, binding.val.floatVal, sizeof(float));
      break;
    case ASN_OPAQUE_DOUBLE:
      if (binding.val_len != sizeof(double)) return std::nullopt;
      end = asn_build_double(built, &left, binding.type, binding.val.doubleVal, sizeof(double));
      break;
    case ASN_OPAQUE_I64:
      if (binding.val_len != sizeof(counter64)) return std::nullopt;
      end = asn_build_signed_int64(built, &left, binding.type, binding.val.counter64,
                                   sizeof(counter64));
      break;
    case ASN_OPAQUE_U64:
    case ASN_OPAQUE_COUNTER64:
      if (binding.val_len != sizeof(counter64)) return std::nullopt;
      end = asn_build_unsigned_int64(built, &left, binding.type, binding.val.counter64,
                                     sizeof(counter64));
      break;
    default:
      return std::nullopt;
  }
  const std::size_t length = sizeof built - left;
  // net-snmp builds the whole Opaque (tag 0x44, a one-byte length, then the
  // content); the content alone is what an agent is given to serve.
  if (end == nullptr || length < 2 || built[0] != ASN_OPAQUE || built[1] != length - 2) {
    return std::nullopt;
  }
  return std::vector<u_char>(built + 2, built + length);
}

std::optional<std::string> Integer32Text(const netsnmp_variable_list& binding) {
  if (binding.val.integer == nullptr) return std::nullopt;
  const long value = *binding.val.integer;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return std::to_string(value);
}

std::optional<std::string> Unsigned32Text(const netsnmp_variable_list& binding) {
  if (binding.val.integer == nullptr) return std::nullopt;
  const auto value = static_cast<unsigned long>(*binding.val.integer);
  if (value > UINT32_MAX) return std::nullopt;
  return std::to_string(value);
}

std::optional<std::string> Counter64Text(const netsnmp_variable_list& binding) {
  if (binding.val.counter64 == nullptr) return std::nullopt;
  const std::uint64_t value =
      (static_cast<std::uint64_t>(binding.val.counter64->high & 0xFFFFFFFFu) << 32) |
      (binding.val.counter64->low & 0xFFFFFFFFu);
  return std::to_string(value);
}

std::optional<std::string> ObjectIdText(const netsnmp_variable_list& binding) {
  const std::size_t count = binding.val_len / sizeof(oid);
  if (binding.val.objid == nullptr || binding.val_len % sizeof(oid) != 0 || count < 2) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (binding.val.objid[i] > UINT32_MAX) return std::nullopt;
  }
  return OidText(binding.val.objid, count);
}

std::string OidText(const oid* name, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += (i == 0 ? "" : ".") + std::to_string(name[i]);
  return text;
}

}  // namespace pdu_host
