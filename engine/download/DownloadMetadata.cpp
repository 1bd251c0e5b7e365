#include "engine/download/DownloadMetadata.h"

#include "engine/library/RecordDescription.h"
#include "engine/protocol/Limits.h"
#include "platform/AtomicFile.h"

namespace P2P::Shared::File::TransferFile {
namespace {

using OSTREL::File::CXmlDocument;
using OSTREL::File::CXmlElement;

constexpr std::string_view kNewDocument =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<DownloadFile>\n</DownloadFile>";

struct SReadState {
  _tagStructDownloadMetadata metadata;
  bool hasHash = false;
  bool hasSize = false;
  bool broken = false;
};

void ApplyField(SReadState& state, std::string_view name, std::string_view text) {
  _tagStructSharedFileInfo& info = state.metadata.info;
  switch (ReadDescription(info, ERecordFile::kDownloadMetadata, name, text)) {
    case EDescriptionRead::kRead:
      return;
    case EDescriptionRead::kBadNumber:
      state.broken = true;
      return;
    case EDescriptionRead::kNotDescription:
      break;
  }
  auto is = [name](std::string_view field) { return FileNameEquals(name, field); };
  if (is("HHASH")) {
    const auto hash = _tagUnionHash::FromHex(text);
    state.hasHash = hash.has_value();
    if (hash) state.metadata.hash = *hash;
  } else if (is("FileName")) {
    info.name = text;
  } else if (is("FileSize")) {
    if (const auto size = OSTREL::File::ParseUInt64(text))
      info.size = *size;
    else
      state.broken = true;
    state.hasSize = true;
  }
}

// Sorted, disjoint and inside the file: anything else means the file was not written by us.
bool RangesFit(const CTARNNetBlockPartList& ranges, uint64_t size) {
  if (ranges.Size() > Protocol::kMaxRequiredRanges) return false;
  uint64_t previousEnd = 0;
  for (const _tagStructBlockPart& range : ranges) {
    if (range.start < previousEnd || range.end > size) return false;
    previousEnd = range.end;
  }
  return true;
}

}  // namespace

std::string WriteDownloadMetadataText(const _tagStructDownloadMetadata& metadata) {
  const _tagStructSharedFileInfo& info = metadata.info;
  CXmlDocument document;
  document.LoadText(kNewDocument);
  CXmlElement root = document.Root();
  root.AppendText("HHASH", metadata.hash.ToHex());
  root.AppendText("FileName", info.name);
  root.AppendNumber("FileSize", info.size);
  ForEachSetDescription(
      info, ERecordFile::kDownloadMetadata,
      [&root](std::string_view name, const std::string& text) { root.AppendText(name, text); });
  if (!metadata.required.Empty())
    metadata.required.WriteBlocks(root.AppendElement("EmptyBlockList"));
  return document.ToText();
}

std::optional<_tagStructDownloadMetadata> ReadDownloadMetadataText(std::string_view text) {
  if (text.size() > Protocol::kMaxDownloadMetadataSize) return std::nullopt;
  CXmlDocument document;
  if (!document.LoadText(text)) return std::nullopt;
  const CXmlElement root = document.Root();
  if (!root || !root.NameIs(kDownloadMetadataRoot)) return std::nullopt;

  SReadState state;
  root.ForEachField(
      [&state](std::string_view name, std::string_view value) { ApplyField(state, name, value); });
  _tagStructDownloadMetadata& metadata = state.metadata;
  if (state.broken || !state.hasHash || !state.hasSize) return std::nullopt;
  if (metadata.info.size == 0 || metadata.info.size > Protocol::kMaxFileSize) return std::nullopt;
  for (const CXmlElement& list : root.Children("EmptyBlockList")) {
    if (list.Children("Block").size() > Protocol::kMaxRequiredRanges) return std::nullopt;
    metadata.required.ReadBlocks(list);
  }
  if (!RangesFit(metadata.required, metadata.info.size)) return std::nullopt;
  // The name becomes a path in the shared folder one day: it must stay one component.
  metadata.info.name = SafeFileName(metadata.info.name);
  return std::move(metadata);
}

std::optional<_tagStructDownloadMetadata> LoadDownloadMetadata(const std::filesystem::path& path) {
  const auto text = OSTREL::File::ReadWholeFile(path, Protocol::kMaxDownloadMetadataSize);
  if (!text) return std::nullopt;
  return ReadDownloadMetadataText(*text);
}

}  // namespace P2P::Shared::File::TransferFile
