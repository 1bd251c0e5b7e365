#include "engine/library/OfferRecord.h"

#include "engine/library/FileCategory.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/ServerMessages.h"
#include "engine/protocol/Tag.h"

namespace P2P::Shared::File {
namespace {

using Protocol::_tagStructTag;

// Hash, client id, port and tag count.
constexpr size_t kRecordHeaderSize = 16 + 4 + 2 + 4;

struct MediaTag {
  uint8_t id;
  const char* name;
};

bool AddString(std::vector<_tagStructTag>& tags, const std::string& text, MediaTag tag, bool byId) {
  if (text.empty()) return false;
  _tagStructTag& added = tags.emplace_back();
  if (byId)
    added.SetString(tag.id, text);
  else
    added.SetString(tag.name, text);
  return true;
}

// The extension of a file name as offers carry it: lower case, without the dot; empty when
// the name has none (or one too long to be an extension).
std::string OfferedExtension(const std::string& name) {
  constexpr size_t kLongestExtension = 10;
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.size() - dot - 1 > kLongestExtension) return {};
  std::string extension = name.substr(dot + 1);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension;
}

// A file's record as its offer describes it: a record without a type or a format gets the
// ones its name gives, as other clients' offers carry them, so that searches by type or
// extension find it.
_tagStructSharedFileInfo OfferedInfo(const _tagStructSharedFileInfo& info) {
  _tagStructSharedFileInfo offered = info;
  if (offered.type.empty())
    offered.type = std::string(CategoryTypeWord(CategoryFromFileName(info.name)));
  if (offered.format.empty()) offered.format = OfferedExtension(info.name);
  return offered;
}

std::vector<_tagStructTag> BuildTags(const _tagStructSharedFileInfo& info, bool byId) {
  std::vector<_tagStructTag> tags;
  tags.emplace_back().SetString(Protocol::kTagName, info.name);
  // A size above 32 bits travels as its low half plus a tag with the high half.
  tags.emplace_back().SetInteger(Protocol::kTagSize, static_cast<uint32_t>(info.size));
  if (info.size > UINT32_MAX)
    tags.emplace_back().SetInteger(Protocol::kTagSizeHigh, static_cast<uint32_t>(info.size >> 32));
  if (!info.type.empty()) tags.emplace_back().SetString(Protocol::kTagFileType, info.type);
  if (!info.format.empty()) tags.emplace_back().SetString(Protocol::kTagFileFormat, info.format);
  AddString(tags, info.mediaLength, {Protocol::kTagMediaLength, "length"}, byId);
  if (info.mediaBitrate != 0) {
    if (byId)
      tags.emplace_back().SetInteger(Protocol::kTagMediaBitrate, info.mediaBitrate);
    else
      tags.emplace_back().SetInteger("bitrate", info.mediaBitrate);
  }
  AddString(tags, info.mediaAlbum, {Protocol::kTagMediaAlbum, "Album"}, byId);
  AddString(tags, info.mediaArtist, {Protocol::kTagMediaArtist, "Artist"}, byId);
  AddString(tags, info.mediaTitle, {Protocol::kTagMediaTitle, "Title"}, byId);
  AddString(tags, info.mediaCodec, {Protocol::kTagMediaCodec, "codec"}, byId);
  return tags;
}

void ApplyNumberedTag(_tagStructSharedFileInfo& info, const _tagStructTag& tag) {
  if (tag.IsString()) {
    switch (tag.nameId) {
      case Protocol::kTagName:
        info.name = tag.Text();
        break;
      case Protocol::kTagFileType:
        info.type = tag.Text();
        break;
      case Protocol::kTagFileFormat:
        info.format = tag.Text();
        break;
      case Protocol::kTagMediaArtist:
        info.mediaArtist = tag.Text();
        break;
      case Protocol::kTagMediaAlbum:
        info.mediaAlbum = tag.Text();
        break;
      case Protocol::kTagMediaTitle:
        info.mediaTitle = tag.Text();
        break;
      case Protocol::kTagMediaLength:
        info.mediaLength = tag.Text();
        break;
      case Protocol::kTagMediaCodec:
        info.mediaCodec = tag.Text();
        break;
      default:
        break;
    }
  } else if (tag.IsInteger()) {
    switch (tag.nameId) {
      case Protocol::kTagSize:
        info.size = (info.size & ~uint64_t{UINT32_MAX}) | tag.Integer();
        break;
      case Protocol::kTagSizeHigh:
        info.size = (info.size & UINT32_MAX) | (uint64_t{tag.Integer()} << 32);
        break;
      case 5:
        info.tag5Value = tag.Integer();
        break;
      case 21:
        info.sourceCount = tag.Integer();
        break;
      case 48:
        info.secondCount = tag.Integer();
        break;
      case Protocol::kTagMediaLength:
        info.mediaLengthValue = tag.Integer();
        break;
      case Protocol::kTagMediaBitrate:
        info.mediaBitrate = tag.Integer();
        break;
      default:
        break;
    }
  }
}

bool NameIs(const _tagStructTag& tag, const char* name) { return FileNameEquals(tag.name, name); }

void ApplyNamedTag(_tagStructSharedFileInfo& info, const _tagStructTag& tag) {
  if (NameIs(tag, "bitrate")) {
    if (tag.IsInteger()) info.mediaBitrate = tag.Integer();
    return;
  }
  if (!tag.IsString()) return;
  if (NameIs(tag, "length"))
    info.mediaLength = tag.Text();
  else if (NameIs(tag, "codec"))
    info.mediaCodec = tag.Text();
  else if (NameIs(tag, "Album"))
    info.mediaAlbum = tag.Text();
  else if (NameIs(tag, "Artist"))
    info.mediaArtist = tag.Text();
  else if (NameIs(tag, "Title"))
    info.mediaTitle = tag.Text();
}

}  // namespace

bool WriteOfferRecord(Protocol::CStreamWriter& writer, const _tagStructSharedFile& record,
                      const _tagStructOfferOptions& options) {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter out(bytes);
  out.WriteHash(record.hash);
  out.WriteUInt32(record.clientId);
  out.WriteUInt16(record.port);
  const size_t countAt = out.Size();
  out.WriteUInt32(0);
  uint32_t written = 0;
  for (const _tagStructTag& tag : BuildTags(OfferedInfo(record.info), options.mediaTagsById)) {
    if (!tag.WriteTag(out, options.compactTags)) return false;
    ++written;
  }
  out.PatchUInt32(countAt, written);
  return writer.WriteBytes(bytes);
}

std::optional<_tagStructSharedFile> ReadOfferRecord(Protocol::CStreamReader& reader) {
  const size_t start = reader.Position();
  Protocol::SOfferRecord raw;
  if (!Protocol::ReadOfferRecord(reader, raw)) return std::nullopt;
  auto record = OfferRecordFromTags(raw.hash, raw.clientId, raw.port, raw.tags);
  if (!record) reader.Seek(start);
  return record;
}

std::optional<_tagStructSharedFile> OfferRecordFromTags(
    const _tagUnionHash& hash, uint32_t clientId, uint16_t port,
    std::span<const Protocol::_tagStructTag> tags) {
  _tagStructSharedFile record;
  record.hash = hash;
  record.clientId = clientId;
  record.port = port;
  for (const _tagStructTag& tag : tags) {
    if (tag.HasNameId())
      ApplyNumberedTag(record.info, tag);
    else
      ApplyNamedTag(record.info, tag);
  }
  // No client holds a larger file: such a size is made up or damaged, not one to cut down.
  if (record.info.size > Protocol::kMaxFileSize) return std::nullopt;
  // An empty name stays empty (no name given); any other must be one plain path component.
  if (!record.info.name.empty()) record.info.name = SafeFileName(record.info.name);
  return record;
}

std::optional<std::vector<_tagStructSharedFile>> ReadOfferList(Protocol::CStreamReader& reader) {
  const size_t start = reader.Position();
  uint32_t count = 0;
  if (!reader.ReadUInt32(count)) return std::nullopt;
  if (count > Protocol::kMaxOfferRecords || count > reader.Remaining() / kRecordHeaderSize) {
    reader.Seek(start);
    return std::nullopt;
  }
  std::vector<_tagStructSharedFile> records;
  records.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    auto record = ReadOfferRecord(reader);
    if (!record) {
      reader.Seek(start);
      return std::nullopt;
    }
    records.push_back(std::move(*record));
  }
  return records;
}

}  // namespace P2P::Shared::File
