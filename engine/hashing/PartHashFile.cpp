#include "engine/hashing/PartHashFile.h"

#include <algorithm>

#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Limits.h"
#include "platform/AtomicFile.h"

namespace P2P::HASH {
namespace {

constexpr std::string_view kMagic = "TPH1";
// Files above 32 bits follow the others in a section of their own, which readers that know
// only the first section never reach: a file without such files stays what it always was.
constexpr std::string_view kLargeMagic = "TPH8";
// Hash, size and an empty hash set: the least an entry takes.
constexpr size_t kMinEntryBytes = 16 + 4 + 2;

bool FitsFirstSection(const _tagStructPartHashEntry& entry) {
  return entry.parts.GetFileSize() <= UINT32_MAX;
}

void WriteSection(Protocol::CStreamWriter& writer, std::string_view magic, bool wide,
                  std::span<const _tagStructPartHashEntry> entries) {
  writer.WriteBytes({reinterpret_cast<const uint8_t*>(magic.data()), magic.size()});
  const auto inSection = [wide](const _tagStructPartHashEntry& entry) {
    return FitsFirstSection(entry) != wide;
  };
  writer.WriteUInt32(
      static_cast<uint32_t>(std::count_if(entries.begin(), entries.end(), inSection)));
  for (const _tagStructPartHashEntry& entry : entries) {
    if (!inSection(entry)) continue;
    writer.WriteHash(entry.fileHash);
    const uint64_t size = entry.parts.GetFileSize();
    if (wide)
      writer.WriteUInt64(size);
    else
      writer.WriteUInt32(static_cast<uint32_t>(size));
    entry.parts.WriteHashSet(writer);
  }
}

// False when the section does not start here; otherwise its entries that check out are
// added, up to the first one cut short or damaged beyond reading on (`whole` false then).
bool ReadSection(Protocol::CStreamReader& reader, std::string_view magic, bool wide,
                 std::vector<_tagStructPartHashEntry>& entries, bool& whole) {
  whole = false;
  uint8_t read[4] = {};
  uint32_t count = 0;
  if (!reader.ReadBytes(read) || std::string_view(reinterpret_cast<char*>(read), 4) != magic ||
      !reader.ReadUInt32(count) || count > reader.Remaining() / kMinEntryBytes)
    return false;
  for (uint32_t i = 0; i < count; ++i) {
    _tagStructPartHashEntry entry;
    uint64_t size = 0;
    uint32_t narrow = 0;
    if (!reader.ReadHash(entry.fileHash)) return true;
    if (wide ? !reader.ReadUInt64(size) : !reader.ReadUInt32(narrow)) return true;
    if (!wide) size = narrow;
    // A size beyond any file leaves the count unknowable: stop there.
    if (size > Protocol::kMaxFileSize) return true;
    entry.parts.SetFileSize(size);
    // A count that does not fit the size leaves the rest unreadable: stop there.
    if (!entry.parts.ReadHashSet(reader)) return true;
    if (HashSetCount(size) == 0 || !entry.parts.Matches(entry.fileHash)) continue;
    entries.push_back(std::move(entry));
  }
  whole = true;
  return true;
}

}  // namespace

std::vector<uint8_t> WritePartHashBytes(std::span<const _tagStructPartHashEntry> entries) {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  WriteSection(writer, kMagic, false, entries);
  if (!std::all_of(entries.begin(), entries.end(), FitsFirstSection))
    WriteSection(writer, kLargeMagic, true, entries);
  return bytes;
}

bool ReadPartHashBytes(std::span<const uint8_t> bytes,
                       std::vector<_tagStructPartHashEntry>& entries) {
  entries.clear();
  Protocol::CStreamReader reader(bytes);
  bool whole = false;
  if (!ReadSection(reader, kMagic, false, entries, whole)) return false;
  if (whole) ReadSection(reader, kLargeMagic, true, entries, whole);
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
