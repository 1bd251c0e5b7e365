// Replacing a file's content in one step: the new content goes to a temporary file in the same
// folder, is flushed to disk, and is renamed over the old file. A failure at any point leaves
// the old file as it was and removes the temporary file. The new file is the owner's alone
// (0600), whatever the old one was: these are the programs' configuration and state, the
// private key among them. All of it goes through the current file system
// (platform/FileSystem.h). Any thread; callers serialise writes to the same path.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace OSTREL::File {

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content);
// The same for content made piece by piece (a large list need not be held as one text):
// `produce` hands each piece to the writer it is given, in order, and fails the save by
// returning false or when a piece cannot be written.
using CContentWriter = std::function<bool(std::string_view)>;
bool WriteFileAtomically(const std::filesystem::path& path,
                         const std::function<bool(const CContentWriter&)>& produce);

// The whole file, or nothing when it is missing, unreadable or larger than `maxSize`.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, size_t maxSize);

}  // namespace OSTREL::File
