// Shared.dat: the persisted shared-file list, one SharedFile element per file with its hash,
// name, path, size, times and the descriptive fields it carries. Reading accepts fields as
// elements or attributes in any case; writing keeps the file's fixed layout. Pure functions
// over a document; any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/library/SharedFileRecord.h"
#include "framework/XmlDocument.h"

namespace P2P::Shared::File {

inline constexpr std::string_view kSharedDatFileName = "Shared.dat";
inline constexpr std::string_view kSharedDatRoot = "SharedFileList";

// Every SharedFile element as a record; empty when the root is not SharedFileList. Entries
// are taken as they stand: the caller decides which of them still name a file.
std::vector<_tagStructSharedFile> ReadSharedDatDocument(const OSTREL::File::CXmlDocument& document);
std::vector<_tagStructSharedFile> ReadSharedDatText(std::string_view text);

// A new document holding `files` in order.
std::string WriteSharedDatText(std::span<const _tagStructSharedFile> files);
// The same layout built piece by piece, for lists too large to copy whole: the opening, one
// entry at a time, then the closing (told whether any entry was written).
void BeginSharedDatText(std::string& out);
void AppendSharedDatEntry(std::string& out, const _tagStructSharedFile& file);
void EndSharedDatText(std::string& out, bool anyEntry);
bool SaveSharedDat(const std::filesystem::path& path, std::span<const _tagStructSharedFile> files);
// Empty when the file is missing, unreadable or not a shared-file list.
std::vector<_tagStructSharedFile> LoadSharedDat(const std::filesystem::path& path);
// The same entries handed to `take` one at a time, so that a list of 100,000 files is never
// held twice; false (nothing handed) when the file cannot be read as a shared-file list.
bool ForEachSharedDatEntry(const std::filesystem::path& path,
                           const std::function<void(_tagStructSharedFile&)>& take);

}  // namespace P2P::Shared::File
