// The eD2K tag: a typed value named by a one-byte id or a name string, read in the classic and
// the compact form and written in either. Tag values are plain data; a tag is used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

enum ETagType : uint8_t {
  kTagHash = 1,
  kTagString = 2,
  kTagUInt32 = 3,
  kTagFloat = 4,
  kTagBool = 5,
  kTagBoolArray = 6,
  kTagBlob = 7,
  kTagUInt16 = 8,
  kTagUInt8 = 9,
  kTagShortBlob = 10,
  kTagShortString1 = 0x11,  // 0x11..0x26: a string of (type - 0x10) bytes, no length field
  kTagShortString22 = 0x26,
};

enum ETagName : uint8_t {
  kTagName = 0x01,
  kTagSize = 0x02,
  kTagFileType = 0x03,
  kTagFileFormat = 0x04,
  kTagPort = 0x0F,
  kTagVersion = 0x11,
  kTagServerFlags = 0x20,
  kTagSizeHigh = 0x3A,  // the high 32 bits of a size above 32 bits
  kTagMediaArtist = 0xD0,
  kTagMediaAlbum = 0xD1,
  kTagMediaTitle = 0xD2,
  kTagMediaLength = 0xD3,
  kTagMediaBitrate = 0xD4,
  kTagMediaCodec = 0xD5,
  kTagClientVersion = 0xFB,
};

struct _tagStructTag {
  // Integers of every width (and booleans) are held as 32 bits; strings as UTF-8; blobs raw.
  using Value = std::variant<uint32_t, float, _tagUnionHash, std::string, std::vector<uint8_t>>;

  uint8_t type = kTagUInt32;
  bool byId = true;    // named by `nameId`, else by `name`
  uint8_t nameId = 0;
  std::string name;
  Value value = uint32_t{0};

  bool HasNameId() const { return byId; }
  bool IsNamed(uint8_t id) const { return HasNameId() && nameId == id; }
  bool IsNamed(std::string_view text) const { return !HasNameId() && name == text; }
  bool IsInteger() const { return std::holds_alternative<uint32_t>(value); }
  bool IsString() const { return std::holds_alternative<std::string>(value); }
  uint32_t Integer() const;        // 0 unless an integer
  const std::string& Text() const;  // empty unless a string

  void SetString(uint8_t id, std::string_view text);
  void SetString(std::string_view tagName, std::string_view text);
  // Picks the narrowest integer type that holds the value.
  void SetInteger(uint8_t id, uint32_t number);
  void SetInteger(std::string_view tagName, uint32_t number);
  void SetHash(uint8_t id, const _tagUnionHash& hash);

  // Reads one tag in either form. On failure (unknown type, truncated, over a cap) the stream
  // is left where it was. Incoming strings become UTF-8 (see TextCodec).
  bool ReadTag(CStreamReader& stream);
  // Classic form widens 8- and 16-bit integers to 32 bits; compact form names ids with the
  // type's high bit and keeps widths. Fails (writing nothing) when a length does not fit.
  bool WriteTag(CStreamWriter& stream, bool compact) const;

 private:
  bool ReadName(CStreamReader& stream, uint8_t typeByte);
  bool ReadValue(CStreamReader& stream);
  bool WriteValue(CStreamWriter& stream, uint8_t wireType) const;
  bool WriteBody(CStreamWriter& stream, bool compact) const;
};

// Reads `count` tags; fails above the per-list cap or on the first bad tag, leaving the stream
// where it was.
bool ReadTags(CStreamReader& stream, uint32_t count, std::vector<_tagStructTag>& tags);

}  // namespace P2P::Protocol
