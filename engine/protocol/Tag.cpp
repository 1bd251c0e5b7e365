#include "engine/protocol/Tag.h"

#include "engine/protocol/Limits.h"
#include "engine/protocol/TextCodec.h"

namespace P2P::Protocol {
namespace {

constexpr uint8_t kCompactIdFlag = 0x80;

bool IsShortString(uint8_t type) { return type >= kTagShortString1 && type <= kTagShortString22; }

uint8_t NarrowestIntegerType(uint32_t number) {
  if (number < 256) return kTagUInt8;
  if (number > 65535) return kTagUInt32;
  return kTagUInt16;
}

}  // namespace

uint32_t _tagStructTag::Integer() const {
  const auto* number = std::get_if<uint32_t>(&value);
  return number ? *number : 0;
}

const std::string& _tagStructTag::Text() const {
  static const std::string kEmpty;
  const auto* text = std::get_if<std::string>(&value);
  return text ? *text : kEmpty;
}

void _tagStructTag::SetString(uint8_t id, std::string_view text) {
  type = kTagString;
  byId = true;
  nameId = id;
  name.clear();
  value = std::string(text);
}

void _tagStructTag::SetString(std::string_view tagName, std::string_view text) {
  SetString(uint8_t{0}, text);
  byId = false;
  name = tagName;
}

void _tagStructTag::SetInteger(uint8_t id, uint32_t number) {
  type = NarrowestIntegerType(number);
  byId = true;
  nameId = id;
  name.clear();
  value = number;
}

void _tagStructTag::SetInteger(std::string_view tagName, uint32_t number) {
  SetInteger(uint8_t{0}, number);
  byId = false;
  name = tagName;
}

void _tagStructTag::SetHash(uint8_t id, const _tagUnionHash& hash) {
  type = kTagHash;
  byId = true;
  nameId = id;
  name.clear();
  value = hash;
}

bool _tagStructTag::ReadTag(CStreamReader& stream) {
  const size_t start = stream.Position();
  uint8_t typeByte = 0;
  const bool read = (stream.ReadUInt8(typeByte) || stream.RefuseTruncated("tag type")) &&
                    (ReadName(stream, typeByte) || stream.RefuseTruncated("tag name")) &&
                    (ReadValue(stream) || stream.RefuseTruncated("tag value"));
  if (!read) {
    stream.Seek(start);
    return false;
  }
  return true;
}

bool _tagStructTag::ReadName(CStreamReader& stream, uint8_t typeByte) {
  name.clear();
  if (typeByte & kCompactIdFlag) {
    type = typeByte & ~kCompactIdFlag;
    byId = true;
    return stream.ReadUInt8(nameId);
  }
  type = typeByte;
  uint16_t nameLength = 0;
  if (!stream.ReadUInt16(nameLength)) return false;
  byId = nameLength == 1;
  nameId = 0;
  if (byId) return stream.ReadUInt8(nameId);
  return stream.ReadString(nameLength, name);
}

bool _tagStructTag::ReadValue(CStreamReader& stream) {
  std::string text;
  if (IsShortString(type)) {
    if (!stream.ReadString(type - 0x10u, text)) return false;
    value = DecodeNarrowText(text);
    return true;
  }
  switch (type) {
    case kTagHash: {
      _tagUnionHash hash;
      if (!stream.ReadHash(hash)) return false;
      value = hash;
      return true;
    }
    case kTagString: {
      uint16_t length = 0;
      if (!stream.ReadUInt16(length) || !stream.ReadString(length, text)) return false;
      value = DecodeNarrowText(text);
      return true;
    }
    case kTagUInt32: {
      uint32_t number = 0;
      if (!stream.ReadUInt32(number)) return false;
      value = number;
      return true;
    }
    case kTagFloat: {
      float number = 0;
      if (!stream.ReadFloat(number)) return false;
      value = number;
      return true;
    }
    case kTagBool:
    case kTagUInt8: {
      uint8_t number = 0;
      if (!stream.ReadUInt8(number)) return false;
      value = uint32_t{number};
      return true;
    }
    case kTagUInt16: {
      uint16_t number = 0;
      if (!stream.ReadUInt16(number)) return false;
      value = uint32_t{number};
      return true;
    }
    case kTagBlob:
    case kTagShortBlob: {
      uint32_t length = 0;
      if (type == kTagBlob) {
        if (!stream.ReadUInt32(length)) return false;
      } else {
        uint8_t shortLength = 0;
        if (!stream.ReadUInt8(shortLength)) return false;
        length = shortLength;
      }
      std::span<const uint8_t> bytes;
      if (length > kMaxTagBlobLength)
        return stream.Refuse("tag blob length", ERefusalReason::kOverLimit, length,
                             kMaxTagBlobLength);
      if (!stream.ReadView(length, bytes)) return false;
      value = std::vector<uint8_t>(bytes.begin(), bytes.end());
      return true;
    }
    default:  // boolean arrays are never produced by the engine and are refused with the rest
      return stream.Refuse("tag type", ERefusalReason::kUnknownType, type);
  }
}

bool _tagStructTag::WriteTag(CStreamWriter& stream, bool compact) const {
  const size_t start = stream.Size();
  if (WriteBody(stream, compact)) return true;
  stream.Truncate(start);
  return false;
}

bool _tagStructTag::WriteBody(CStreamWriter& stream, bool compact) const {
  uint8_t wireType =
      !compact && (type == kTagUInt16 || type == kTagUInt8) ? uint8_t{kTagUInt32} : type;
  // A short string whose text no longer fits its type (decoded to UTF-8, or changed) goes out
  // with a length field instead.
  if (IsShortString(wireType) && Text().size() != wireType - 0x10u) wireType = kTagString;
  if (byId) {
    if (compact) {
      if (!stream.WriteUInt8(wireType | kCompactIdFlag) || !stream.WriteUInt8(nameId)) return false;
    } else if (!stream.WriteUInt8(wireType) || !stream.WriteUInt16(1) ||
               !stream.WriteUInt8(nameId)) {
      return false;
    }
  } else {
    if (name.size() > UINT16_MAX || !stream.WriteUInt8(wireType) ||
        !stream.WriteUInt16(static_cast<uint16_t>(name.size())) || !stream.WriteString(name))
      return false;
  }
  return WriteValue(stream, wireType);
}

bool _tagStructTag::WriteValue(CStreamWriter& stream, uint8_t wireType) const {
  if (IsShortString(wireType)) {
    const std::string& text = Text();
    return text.size() == wireType - 0x10u && stream.WriteString(text);
  }
  switch (wireType) {
    case kTagHash: {
      const auto* hash = std::get_if<_tagUnionHash>(&value);
      return hash && stream.WriteHash(*hash);
    }
    case kTagString: {
      const std::string& text = Text();
      return text.size() <= UINT16_MAX &&
             stream.WriteUInt16(static_cast<uint16_t>(text.size())) && stream.WriteString(text);
    }
    case kTagUInt32:
      return stream.WriteUInt32(Integer());
    case kTagFloat: {
      const auto* number = std::get_if<float>(&value);
      return number && stream.WriteFloat(*number);
    }
    case kTagBool:
    case kTagUInt8:
      return Integer() <= UINT8_MAX && stream.WriteUInt8(static_cast<uint8_t>(Integer()));
    case kTagUInt16:
      return Integer() <= UINT16_MAX && stream.WriteUInt16(static_cast<uint16_t>(Integer()));
    case kTagBlob:
    case kTagShortBlob: {
      const auto* bytes = std::get_if<std::vector<uint8_t>>(&value);
      if (!bytes) return false;
      if (wireType == kTagShortBlob)
        return bytes->size() <= UINT8_MAX &&
               stream.WriteUInt8(static_cast<uint8_t>(bytes->size())) && stream.WriteBytes(*bytes);
      return bytes->size() <= kMaxTagBlobLength &&
             stream.WriteUInt32(static_cast<uint32_t>(bytes->size())) && stream.WriteBytes(*bytes);
    }
    default:
      return false;
  }
}

bool ReadTags(CStreamReader& stream, uint32_t count, std::vector<_tagStructTag>& tags) {
  tags.clear();
  if (count > kMaxTagsPerList)
    return stream.Refuse("tag count", ERefusalReason::kOverLimit, count, kMaxTagsPerList);
  const size_t start = stream.Position();
  for (uint32_t i = 0; i < count; ++i) {
    _tagStructTag tag;
    if (!tag.ReadTag(stream)) {
      stream.Seek(start);
      tags.clear();
      return false;
    }
    tags.push_back(std::move(tag));
  }
  return true;
}

}  // namespace P2P::Protocol
