#include "engine/files/SharedDatFile.h"

#include "platform/AtomicFile.h"
#include "platform/XmlFile.h"

namespace P2P::Shared::File {
namespace {

using OSTREL::File::CXmlDocument;
using OSTREL::File::CXmlElement;

constexpr std::string_view kNewDocument =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<SharedFileList>\n</SharedFileList>";

void SetTime(int64_t& field, std::string_view text) {
  if (const auto value = OSTREL::File::ParseInt64(text)) field = *value;
}

void ApplyField(_tagStructSharedFile& file, std::string_view name, std::string_view text) {
  _tagStructSharedFileInfo& info = file.info;
  auto is = [name](std::string_view field) { return FileNameEquals(name, field); };
  if (is("Hash")) {
    if (const auto hash = _tagUnionHash::FromHex(text)) file.hash = *hash;
  } else if (is("Name")) {
    info.name = text;
  } else if (is("FullPathName")) {
    info.fullPathName = text;
  } else if (is("Size")) {
    if (const auto size = OSTREL::File::ParseUInt32(text)) info.size = *size;
  } else if (is("CreationTime")) {
    SetTime(info.creationTime, text);
  } else if (is("LastWriteTime")) {
    SetTime(info.lastWriteTime, text);
  } else if (is("Format")) {
    info.format = text;
  } else if (is("Type")) {
    info.type = text;
  } else if (is("MediaBitrates")) {
    if (const auto bitrate = OSTREL::File::ParseUInt32(text)) info.mediaBitrate = *bitrate;
  } else if (is("MediaAlbum")) {
    info.mediaAlbum = text;
  } else if (is("MediaArtist")) {
    info.mediaArtist = text;
  } else if (is("MediaTitle")) {
    info.mediaTitle = text;
  } else if (is("MediaCodec")) {
    info.mediaCodec = text;
  } else if (is("MediaLength")) {
    info.mediaLength = text;
  }
}

void AppendIfSet(CXmlElement& element, std::string_view name, const std::string& text) {
  if (!text.empty()) element.AppendText(name, text);
}

void WriteEntry(CXmlElement list, const _tagStructSharedFile& file) {
  const _tagStructSharedFileInfo& info = file.info;
  CXmlElement entry = list.AppendElement("SharedFile");
  entry.AppendText("Hash", file.hash.ToHex());
  entry.AppendText("Name", info.name);
  entry.AppendText("FullPathName", info.fullPathName);
  entry.AppendNumber("Size", info.size);
  entry.AppendSigned("CreationTime", info.creationTime);
  entry.AppendSigned("LastWriteTime", info.lastWriteTime);
  AppendIfSet(entry, "Format", info.format);
  AppendIfSet(entry, "Type", info.type);
  if (info.mediaBitrate != 0) entry.AppendNumber("MediaBitrates", info.mediaBitrate);
  AppendIfSet(entry, "MediaAlbum", info.mediaAlbum);
  AppendIfSet(entry, "MediaArtist", info.mediaArtist);
  AppendIfSet(entry, "MediaTitle", info.mediaTitle);
  AppendIfSet(entry, "MediaCodec", info.mediaCodec);
  AppendIfSet(entry, "MediaLength", info.mediaLength);
}

}  // namespace

std::vector<_tagStructSharedFile> ReadSharedDatDocument(const CXmlDocument& document) {
  std::vector<_tagStructSharedFile> files;
  const CXmlElement root = document.Root();
  if (!root || !root.NameIs(kSharedDatRoot)) return files;
  for (const CXmlElement& element : root.Children("SharedFile")) {
    _tagStructSharedFile file;
    element.ForEachField(
        [&file](std::string_view name, std::string_view text) { ApplyField(file, name, text); });
    files.push_back(std::move(file));
  }
  return files;
}

std::vector<_tagStructSharedFile> ReadSharedDatText(std::string_view text) {
  CXmlDocument document;
  if (!document.LoadText(text)) return {};
  return ReadSharedDatDocument(document);
}

std::string WriteSharedDatText(std::span<const _tagStructSharedFile> files) {
  CXmlDocument document;
  document.LoadText(kNewDocument);
  for (const _tagStructSharedFile& file : files) WriteEntry(document.Root(), file);
  return document.ToText();
}

bool SaveSharedDat(const std::filesystem::path& path, std::span<const _tagStructSharedFile> files) {
  return OSTREL::File::WriteFileAtomically(path, WriteSharedDatText(files));
}

std::vector<_tagStructSharedFile> LoadSharedDat(const std::filesystem::path& path) {
  CXmlDocument document;
  if (!OSTREL::File::LoadXmlFile(document, path)) return {};
  return ReadSharedDatDocument(document);
}

}  // namespace P2P::Shared::File
