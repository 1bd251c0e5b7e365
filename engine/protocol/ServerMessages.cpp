#include "engine/protocol/ServerMessages.h"

#include "engine/protocol/TextCodec.h"

namespace P2P::Protocol {
namespace {

// Hash, client id, port and tag count: the least an offer record takes.
constexpr size_t kMinOfferRecordSize = 16 + 4 + 2 + 4;
constexpr size_t kAddressPortSize = 6;

bool ReadAddressPortAt(CStreamReader& stream, SAddressPort& value) {
  const size_t start = stream.Position();
  std::span<const uint8_t> address;
  if (!stream.ReadView(4, address) || !stream.ReadUInt16(value.port)) {
    stream.Seek(start);
    return false;
  }
  // Addresses stay in wire order: the first byte is the lowest of the value.
  value.address = uint32_t{address[0]} | uint32_t{address[1]} << 8 | uint32_t{address[2]} << 16 |
                  uint32_t{address[3]} << 24;
  return true;
}

bool ReadAddressList(CStreamReader& stream, size_t count, std::vector<SAddressPort>& list) {
  if (stream.Remaining() / kAddressPortSize < count)
    return stream.Refuse("address count", ERefusalReason::kTruncated, count * kAddressPortSize,
                         stream.Remaining());
  list.resize(count);
  for (SAddressPort& entry : list)
    if (!ReadAddressPortAt(stream, entry)) return false;
  return true;
}

bool ReadShortText(CStreamReader& stream, std::string& text) {
  const size_t start = stream.Position();
  uint16_t length = 0;
  std::string raw;
  if (!stream.ReadUInt16(length) || !stream.ReadString(length, raw)) {
    stream.Seek(start);
    return false;
  }
  text = DecodeNarrowText(raw);
  return true;
}

// Name, description and host name from a tag list; other tags are ignored.
template <typename Record>
void TakeServerTags(const std::vector<_tagStructTag>& tags, Record& record) {
  for (const _tagStructTag& tag : tags) {
    if (!tag.IsString() || !tag.HasNameId()) continue;
    if (tag.nameId == kTagServerName)
      record.name = tag.Text();
    else if (tag.nameId == kTagServerDescription)
      record.description = tag.Text();
    else if (tag.nameId == kTagServerHostName)
      record.hostName = tag.Text();
  }
}

// Nothing, after handing the stream's refusal to `out`.
struct SRefused {
  template <typename T>
  operator std::optional<T>() const {
    return std::nullopt;
  }
  operator bool() const { return false; }
};

SRefused Refused(const CStreamReader& stream, SRefusal* out) {
  PassRefusal(stream, out);
  return {};
}

}  // namespace

bool ReadOfferRecord(CStreamReader& stream, SOfferRecord& record) {
  const size_t start = stream.Position();
  uint32_t tagCount = 0;
  if (!stream.ReadHash(record.hash) || !stream.ReadUInt32(record.clientId) ||
      !stream.ReadUInt16(record.port) || !stream.ReadUInt32(tagCount) ||
      !ReadTags(stream, tagCount, record.tags)) {
    stream.Seek(start);
    return false;
  }
  return true;
}

std::optional<std::vector<SAddressPort>> ParseServerList(std::span<const uint8_t> payload,
                                                         SRefusal* refusal) {
  CStreamReader stream(payload);
  uint8_t count = 0;
  std::vector<SAddressPort> list;
  if (!stream.ReadUInt8(count) || !ReadAddressList(stream, count, list))
    return Refused(stream, refusal);
  return list;
}

std::optional<SSearchResults> ParseSearchResults(std::span<const uint8_t> payload,
                                                 SRefusal* refusal) {
  CStreamReader stream(payload);
  uint32_t count = 0;
  if (!stream.ReadUInt32(count)) return Refused(stream, refusal);
  // A count the payload cannot hold is refused before anything is reserved for it.
  if (count > stream.Remaining() / kMinOfferRecordSize) {
    stream.Refuse("search result count", ERefusalReason::kTruncated, count * kMinOfferRecordSize,
                  stream.Remaining());
    return Refused(stream, refusal);
  }
  SSearchResults results;
  results.records.resize(count);
  for (SOfferRecord& record : results.records)
    if (!ReadOfferRecord(stream, record)) return Refused(stream, refusal);
  uint8_t more = 0;
  if (!stream.ReadUInt8(more)) return Refused(stream, refusal);
  results.more = more != 0;
  return results;
}

std::optional<std::string> ParseServerMessage(std::span<const uint8_t> payload, SRefusal* refusal) {
  CStreamReader stream(payload);
  std::string text;
  if (!ReadShortText(stream, text)) {
    stream.RefuseTruncated("server message text");
    return Refused(stream, refusal);
  }
  return text;
}

std::optional<SFoundSources> ParseFoundSources(std::span<const uint8_t> payload,
                                               SRefusal* refusal) {
  CStreamReader stream(payload);
  SFoundSources found;
  uint8_t count = 0;
  if (!stream.ReadHash(found.hash) || !stream.ReadUInt8(count) ||
      !ReadAddressList(stream, count, found.sources))
    return Refused(stream, refusal);
  return found;
}

std::optional<SServerIdent> ParseServerIdent(std::span<const uint8_t> payload, SRefusal* refusal) {
  CStreamReader stream(payload);
  SServerIdent ident;
  SAddressPort endpoint;
  uint32_t tagCount = 0;
  std::vector<_tagStructTag> tags;
  if (!stream.ReadHash(ident.hash) || !ReadAddressPortAt(stream, endpoint) ||
      !stream.ReadUInt32(tagCount) || !ReadTags(stream, tagCount, tags))
    return Refused(stream, refusal);
  ident.address = endpoint.address;
  ident.port = endpoint.port;
  TakeServerTags(tags, ident);
  return ident;
}

std::optional<SServerStatusAnswer> ParseStatusAnswer(std::span<const uint8_t> payload,
                                                     SRefusal* refusal) {
  CStreamReader stream(payload);
  SServerStatusAnswer answer;
  for (uint32_t& value : answer.values)
    if (!stream.ReadUInt32(value)) return Refused(stream, refusal);
  return answer;
}

std::optional<SServerDescription> ParseDescriptionAnswer(std::span<const uint8_t> payload,
                                                         SRefusal* refusal) {
  CStreamReader stream(payload);
  SServerDescription description;
  uint16_t mark = 0;
  if (!stream.ReadUInt16(mark)) return Refused(stream, refusal);
  if (mark == kTaggedDescriptionMark) {
    uint32_t challenge = 0, tagCount = 0;
    std::vector<_tagStructTag> tags;
    stream.Seek(0);
    if (!stream.ReadUInt32(challenge) || !stream.ReadUInt32(tagCount) ||
        !ReadTags(stream, tagCount, tags))
      return Refused(stream, refusal);
    TakeServerTags(tags, description);
    return description;
  }
  // Plain form: each text read with its own length; whichever is whole is taken.
  stream.Seek(0);
  std::string text;
  if (!ReadShortText(stream, text)) return Refused(stream, refusal);
  description.name = std::move(text);
  if (ReadShortText(stream, text)) description.description = std::move(text);
  return description;
}

bool ReadUInt32Pair(std::span<const uint8_t> payload, uint32_t& first, uint32_t& second,
                    SRefusal* refusal) {
  CStreamReader stream(payload);
  uint32_t a = 0, b = 0;
  if (!stream.ReadUInt32(a) || !stream.ReadUInt32(b)) return Refused(stream, refusal);
  first = a;
  second = b;
  return true;
}

bool ReadAddressPort(std::span<const uint8_t> payload, SAddressPort& value, SRefusal* refusal) {
  CStreamReader stream(payload);
  return ReadAddressPortAt(stream, value) || Refused(stream, refusal);
}

}  // namespace P2P::Protocol
