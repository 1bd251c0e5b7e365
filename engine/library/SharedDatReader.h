// A reader for Shared.dat in the exact layout this program writes (the declaration, the
// SharedFileList root, SharedFile elements of plain text fields), working on the text in
// place or on a file read piece by piece, so that loading 100,000 entries builds no document
// and holds no copy of the whole file. Anything outside that layout (attributes, comments,
// other cases, line-end conversions) is left to the document reader, which the callers fall
// back to; both readers give the same entries for any text this one accepts. Any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

#include "engine/library/SharedFileRecord.h"

namespace P2P::Shared::File {

class CTARNNetSharedDatReader {
 public:
  enum class EResult { kMore, kDone, kForeign };
  using Take = std::function<void(_tagStructSharedFile&)>;

  // Reads as many whole entries from the front of `text` as it holds, handing each to `take`
  // (null: checks the layout only), and drops them from `text`. kMore: feed the rest followed
  // by the next piece; kDone: the list ended; kForeign: not this layout (or cut short, when
  // `atEnd`).
  EResult Feed(std::string_view& text, bool atEnd, const Take* take);

 private:
  enum class EStage { kProlog, kList, kEnded };
  EResult ReadProlog(std::string_view& text, bool atEnd);
  EResult ReadEntry(std::string_view& text, bool atEnd, const Take* take);

  EStage stage_ = EStage::kProlog;
};

// Takes one field of a SharedFile element (its name in any case) into `file`; unknown names
// and unreadable numbers leave it as it was.
void ApplySharedDatField(_tagStructSharedFile& file, std::string_view name, std::string_view text);

// The entries of `text` when it is in the written layout; false (nothing handed) otherwise.
bool ReadWrittenSharedDat(std::string_view text, const CTARNNetSharedDatReader::Take& take);
// The same over a file, read twice in pieces: first to check the whole layout, then to hand
// the entries, so nothing is handed from a file that turns out cut short or foreign. kDone
// when every entry was handed; kForeign when none was (kMore: the file changed between the
// passes and only the entries before the change were handed).
CTARNNetSharedDatReader::EResult ReadWrittenSharedDatFile(const std::filesystem::path& path,
                              const CTARNNetSharedDatReader::Take& take);

}  // namespace P2P::Shared::File
