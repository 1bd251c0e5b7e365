#include "engine/library/RecordDescription.h"

#include "framework/XmlDocument.h"

namespace P2P::Shared::File {
namespace {

using Info = _tagStructSharedFileInfo;

struct SDescriptionField {
  std::string_view listName;
  std::string_view metadataName;
  std::string Info::*text;  // null: the bitrate, the one number
};

constexpr SDescriptionField kFields[] = {
    {"Format", "FileFormat", &Info::format},
    {"Type", "FileType", &Info::type},
    {"MediaBitrates", "MediaBitrates", nullptr},
    {"MediaAlbum", "MediaAlbum", &Info::mediaAlbum},
    {"MediaArtist", "MediaArtist", &Info::mediaArtist},
    {"MediaTitle", "MediaTitle", &Info::mediaTitle},
    {"MediaCodec", "MediaCodec", &Info::mediaCodec},
    {"MediaLength", "MediaLength", &Info::mediaLength},
};

std::string_view NameIn(const SDescriptionField& field, ERecordFile file) {
  return file == ERecordFile::kSharedList ? field.listName : field.metadataName;
}

}  // namespace

void ForEachSetDescription(const Info& info, ERecordFile file,
                           const std::function<void(std::string_view, const std::string&)>& write) {
  for (const SDescriptionField& field : kFields) {
    if (field.text == nullptr) {
      if (info.mediaBitrate != 0) write(NameIn(field, file), std::to_string(info.mediaBitrate));
    } else if (!(info.*field.text).empty()) {
      write(NameIn(field, file), info.*field.text);
    }
  }
}

EDescriptionRead ReadDescription(Info& info, ERecordFile file, std::string_view name,
                                 std::string_view text) {
  for (const SDescriptionField& field : kFields) {
    if (!FileNameEquals(name, NameIn(field, file))) continue;
    if (field.text != nullptr) {
      info.*field.text = text;
      return EDescriptionRead::kRead;
    }
    const auto bitrate = OSTREL::File::ParseUInt32(text);
    if (!bitrate) return EDescriptionRead::kBadNumber;
    info.mediaBitrate = *bitrate;
    return EDescriptionRead::kRead;
  }
  return EDescriptionRead::kNotDescription;
}

}  // namespace P2P::Shared::File
