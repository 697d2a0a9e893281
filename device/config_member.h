// Reading device configuration members.
//
// A member counts as present when it exists and is not null. Lookups never
// add members, and a value that is not an object has no members at all.
// Numeric settings are text converted by the atoi rule.
#pragma once

#include <climits>
#include <cstring>
#include <string>

#include <json/value.h>

namespace config_member {

// The member `key` of `value` when present; null otherwise.
inline const Json::Value* Present(const Json::Value& value, const char* key) {
  if (!value.isObject()) return nullptr;
  const Json::Value* member = value.find(key, key + std::strlen(key));
  if (member == nullptr || member->isNull()) return nullptr;
  return member;
}

// The member `key` of `value` when present and an object; null otherwise.
inline const Json::Value* PresentObject(const Json::Value& value, const char* key) {
  const Json::Value* member = Present(value, key);
  return member != nullptr && member->isObject() ? member : nullptr;
}

// atoi's reading of `text`: leading white space, an optional sign, then
// decimal digits up to the first other character; no digits give 0. Unlike
// atoi, a number out of the range of int is clamped instead of undefined.
inline int AtoiText(const std::string& text) {
  std::string::size_type i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1)
      magnitude = static_cast<long long>(INT_MAX) + 1;
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  return static_cast<int>(value);
}

// The text form of a member (JsonCpp's asString; throws for arrays and
// objects) read by the atoi rule.
inline int AtoiMember(const Json::Value& member) { return AtoiText(member.asString()); }

}  // namespace config_member
