#include "engine/hashing/PartHashFile.h"

#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Limits.h"
#include "platform/AtomicFile.h"

namespace P2P::HASH {
namespace {

constexpr std::string_view kMagic = "TPH1";
// Hash, size and an empty hash set: the least an entry takes.
constexpr size_t kMinEntryBytes = 16 + 4 + 2;

}  // namespace

std::vector<uint8_t> WritePartHashBytes(std::span<const _tagStructPartHashEntry> entries) {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  writer.WriteBytes({reinterpret_cast<const uint8_t*>(kMagic.data()), kMagic.size()});
  writer.WriteUInt32(static_cast<uint32_t>(entries.size()));
  for (const _tagStructPartHashEntry& entry : entries) {
    writer.WriteHash(entry.fileHash);
    writer.WriteUInt32(entry.parts.GetFileSize());
    entry.parts.WriteHashSet(writer);
  }
  return bytes;
}

bool ReadPartHashBytes(std::span<const uint8_t> bytes,
                       std::vector<_tagStructPartHashEntry>& entries) {
  entries.clear();
  Protocol::CStreamReader reader(bytes);
  uint8_t magic[4] = {};
  uint32_t count = 0;
  if (!reader.ReadBytes(magic) || std::string_view(reinterpret_cast<char*>(magic), 4) != kMagic ||
      !reader.ReadUInt32(count) || count > reader.Remaining() / kMinEntryBytes)
    return false;
  entries.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    _tagStructPartHashEntry entry;
    uint32_t size = 0;
    if (!reader.ReadHash(entry.fileHash) || !reader.ReadUInt32(size)) break;
    entry.parts.SetFileSize(size);
    // A count that does not fit the size leaves the rest unreadable: stop there.
    if (!entry.parts.ReadHashSet(reader)) break;
    if (HashSetCount(size) == 0 || !entry.parts.Matches(entry.fileHash)) continue;
    entries.push_back(std::move(entry));
  }
  return true;
}

bool SavePartHashFile(const std::filesystem::path& path,
                      std::span<const _tagStructPartHashEntry> entries) {
  const std::vector<uint8_t> bytes = WritePartHashBytes(entries);
  return OSTREL::File::WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<_tagStructPartHashEntry> LoadPartHashFile(const std::filesystem::path& path) {
  std::vector<_tagStructPartHashEntry> entries;
  const auto text = OSTREL::File::ReadWholeFile(path, Protocol::kMaxPartHashFileBytes);
  if (!text) return entries;
  ReadPartHashBytes({reinterpret_cast<const uint8_t*>(text->data()), text->size()}, entries);
  return entries;
}

}  // namespace P2P::HASH
