// Minimal BER encoding and decoding for hand-built SNMP messages in tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ber {

using Bytes = std::vector<unsigned char>;
using Oid = std::vector<std::uint32_t>;

// Tag, length and contents.
Bytes Tlv(unsigned char tag, const Bytes& contents);
Bytes Integer(long long value, unsigned char tag = 0x02);
Bytes OctetString(const std::string& text, unsigned char tag = 0x04);
Bytes ObjectId(const Oid& oid);
Bytes Null(unsigned char tag = 0x05);
Bytes Concat(std::initializer_list<Bytes> parts);
// An Opaque-wrapped float (net-snmp's special type) carrying `payload` as
// the float's bytes; a payload that is not 4 bytes long makes it malformed.
Bytes OpaqueFloat(const Bytes& payload);
Bytes OpaqueFloat(float value);

// What the test agents need of a GETBULK (or GET/GETNEXT) request.
struct Request {
  long long request_id = 0;
  unsigned char pdu_type = 0;
  long long non_repeaters = 0;    // error status field of other PDUs
  long long max_repetitions = 0;  // error index field of other PDUs
  std::string community;
  std::vector<Oid> names;
  Bytes message;  // the whole datagram
};
std::optional<Request> ParseRequest(const Bytes& message);

// A v2c response (PDU tag 0xA2, or `pdu_tag`) with the given error status,
// index and encoded variable bindings (each a SEQUENCE of name and value).
Bytes Response(long long request_id, long long error_status, long long error_index,
               const std::vector<Bytes>& bindings, const std::string& community = "tundra",
               unsigned char pdu_tag = 0xA2);
Bytes Binding(const Oid& name, const Bytes& value);

}  // namespace ber
