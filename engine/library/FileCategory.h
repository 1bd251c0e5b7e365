// File-type categories: the type words a search can be restricted to ("Audio", "Video", ...)
// and the category of a file name by its last extension. The word is also what a search
// sends as its file-type constraint. Pure functions over constant tables; any thread.
#pragma once

#include <string_view>

namespace P2P::Shared::File {

enum EFileCategory : int {
  kCategoryNone = 0,
  kCategoryAudio = 1,
  kCategoryVideo = 2,
  kCategoryImage = 3,
  kCategoryProgram = 4,
  kCategoryDocument = 5,
  kCategoryArchive = 6,
  kCategoryDiskImage = 7,
};

// The category a type word names, compared without regard to case; kCategoryNone otherwise.
EFileCategory CategoryFromTypeWord(std::string_view word);

// The type word of a category ("Audio" ... "Iso"), empty for kCategoryNone or out of range.
std::string_view CategoryTypeWord(int category);

// The category of a file name's last extension (from the last dot, dot included), looked up
// without regard to case; kCategoryNone without a dot or for an unknown extension.
EFileCategory CategoryFromFileName(std::string_view fileName);

}  // namespace P2P::Shared::File
