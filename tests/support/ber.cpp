#include "support/ber.h"

#include <cstring>

namespace ber {
namespace {

Bytes Length(std::size_t length) {
  if (length < 0x80) return {static_cast<unsigned char>(length)};
  Bytes digits;
  for (; length > 0; length >>= 8) digits.insert(digits.begin(), length & 0xFF);
  digits.insert(digits.begin(), static_cast<unsigned char>(0x80 | digits.size()));
  return digits;
}

// A reader over one BER buffer; every read checks the bounds.
class Reader {
 public:
  Reader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  // Reads one TLV; its contents become a new reader.
  std::optional<Reader> Next(unsigned char* tag) {
    if (pos_ + 2 > size_) return std::nullopt;
    *tag = data_[pos_++];
    std::size_t length = data_[pos_++];
    if (length & 0x80) {
      const std::size_t count = length & 0x7F;
      if (count == 0 || count > 4 || pos_ + count > size_) return std::nullopt;
      length = 0;
      for (std::size_t i = 0; i < count; ++i) length = (length << 8) | data_[pos_++];
    }
    if (length > size_ - pos_) return std::nullopt;
    Reader contents(data_ + pos_, length);
    pos_ += length;
    return contents;
  }
  bool AtEnd() const { return pos_ == size_; }
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

std::optional<long long> ReadInteger(Reader& reader) {
  unsigned char tag;
  auto value = reader.Next(&tag);
  if (!value || tag != 0x02 || value->size() == 0 || value->size() > 8) return std::nullopt;
  long long result = (value->data()[0] & 0x80) ? -1 : 0;
  for (std::size_t i = 0; i < value->size(); ++i) result = (result << 8) | value->data()[i];
  return result;
}

std::optional<Oid> DecodeOid(const Reader& value) {
  if (value.size() == 0) return std::nullopt;
  Oid oid;
  std::uint64_t arc = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    arc = (arc << 7) | (value.data()[i] & 0x7F);
    if (arc > 0xFFFFFFFFull * 128) return std::nullopt;
    if ((value.data()[i] & 0x80) == 0) {
      if (oid.empty()) {
        const std::uint32_t first = arc < 80 ? static_cast<std::uint32_t>(arc / 40) : 2;
        oid.push_back(first);
        oid.push_back(static_cast<std::uint32_t>(arc - 40 * first));
      } else {
        oid.push_back(static_cast<std::uint32_t>(arc));
      }
      arc = 0;
    }
  }
  return oid;
}

}  // namespace

Bytes Tlv(unsigned char tag, const Bytes& contents) {
  Bytes out{tag};
  const Bytes length = Length(contents.size());
  out.insert(out.end(), length.begin(), length.end());
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

Bytes Integer(long long value, unsigned char tag) {
  Bytes contents;
  for (;;) {
    contents.insert(contents.begin(), static_cast<unsigned char>(value & 0xFF));
    const long long rest = value >> 8;
    const bool sign = contents.front() & 0x80;
    if ((rest == 0 && !sign) || (rest == -1 && sign)) break;
    value = rest;
  }
  return Tlv(tag, contents);
}

Bytes OctetString(const std::string& text, unsigned char tag) {
  return Tlv(tag, Bytes(text.begin(), text.end()));
}

Bytes ObjectId(const Oid& oid) {
  Bytes contents;
  auto arc = [&contents](std::uint64_t value) {
    Bytes digits{static_cast<unsigned char>(value & 0x7F)};
    for (value >>= 7; value > 0; value >>= 7) {
      digits.insert(digits.begin(), static_cast<unsigned char>(0x80 | (value & 0x7F)));
    }
    contents.insert(contents.end(), digits.begin(), digits.end());
  };
  arc(oid.size() >= 2 ? oid[0] * 40ull + oid[1] : 0);
  for (std::size_t i = 2; i < oid.size(); ++i) arc(oid[i]);
  return Tlv(0x06, contents);
}

Bytes Null(unsigned char tag) { return Tlv(tag, {}); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes OpaqueFloat(const Bytes& payload) {
  Bytes inner{0x9F, 0x78, static_cast<unsigned char>(payload.size())};
  inner.insert(inner.end(), payload.begin(), payload.end());
  return Tlv(0x44, inner);
}

Bytes OpaqueFloat(float value) {
  unsigned char raw[4];
  std::memcpy(raw, &value, 4);
  return OpaqueFloat(Bytes{raw[3], raw[2], raw[1], raw[0]});  // network order
}

Bytes Binding(const Oid& name, const Bytes& value) {
  return Tlv(0x30, Concat({ObjectId(name), value}));
}

Bytes Response(long long request_id, long long error_status, long long error_index,
               const std::vector<Bytes>& bindings, const std::string& community,
               unsigned char pdu_tag) {
  Bytes list;
  for (const Bytes& binding : bindings) list.insert(list.end(), binding.begin(), binding.end());
  const Bytes pdu = Tlv(pdu_tag, Concat({Integer(request_id), Integer(error_status),
                                         Integer(error_index), Tlv(0x30, list)}));
  return Tlv(0x30, Concat({Integer(1), OctetString(community), pdu}));
}

std::optional<Request> ParseRequest(const Bytes& message) {
  Reader whole(message.data(), message.size());
  unsigned char tag;
  auto sequence = whole.Next(&tag);
  if (!sequence || tag != 0x30) return std::nullopt;
  if (!ReadInteger(*sequence)) return std::nullopt;
  auto community = sequence->Next(&tag);
  if (!community || tag != 0x04) return std::nullopt;
  Request request;
  request.message = message;
  request.community.assign(community->data(), community->data() + community->size());
  auto pdu = sequence->Next(&tag);
  if (!pdu) return std::nullopt;
  request.pdu_type = tag;
  auto id = ReadInteger(*pdu);
  auto non_repeaters = ReadInteger(*pdu);
  auto max_repetitions = ReadInteger(*pdu);
  if (!id || !non_repeaters || !max_repetitions) return std::nullopt;
  request.request_id = *id;
  request.non_repeaters = *non_repeaters;
  request.max_repetitions = *max_repetitions;
  auto list = pdu->Next(&tag);
  if (!list || tag != 0x30) return std::nullopt;
  while (!list->AtEnd()) {
    auto binding = list->Next(&tag);
    if (!binding || tag != 0x30) return std::nullopt;
    auto name = binding->Next(&tag);
    if (!name || tag != 0x06) return std::nullopt;
    auto oid = DecodeOid(*name);
    if (!oid) return std::nullopt;
    request.names.push_back(*oid);
  }
  return request;
}

}  // namespace ber
