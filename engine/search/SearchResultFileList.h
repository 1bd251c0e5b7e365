// The results of the running search: answers from the servers merged by file hash, each new
// one checked against the search's words and category first. Every add, merge and reset takes
// the list's lock, and the added and changed events are raised under it (on the thread that
// brought the answer), so a handler always hears of a result's addition before its changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/library/SharedFileList.h"
#include "engine/protocol/Limits.h"
#include "engine/search/SearchEventHandler.h"
#include "engine/search/SearchResultFile.h"
#include "engine/search/SearchWordFilter.h"

namespace P2P::Shared::File::SearchResultFile {

class CTARNNetSearchResultFileList : public ITARNNetSharedFileListT<CTARNNetSearchResultFile> {
 public:
  using FilePtr = OSTREL::CReferencePtr<CTARNNetSearchResultFile>;

  // New results stop at kMaxSearchResults results or at `maxBytes` bytes of texts held
  // (engine/protocol/Limits.h), so that a flood of answers cannot grow the list without end;
  // answers for listed hashes still merge.
  explicit CTARNNetSearchResultFileList(size_t maxBytes = Protocol::kMaxSearchResultBytes)
      : maxBytes_(maxBytes) {}

  void SetEventSink(ITARNNetP2PSearchEventHandler* sink);

  // A new search: drops every result and keeps the words of `text` and the category (0 for
  // none) for the answers to come. Ids keep counting.
  void BeginSearch(std::string_view text, int category);

  // One answer: merged into the result with its hash (raising result changed), else checked
  // and added under the next id (raising result added). Null when the answer was dropped.
  FilePtr AddFromRecord(const _tagStructSharedFile& record) override;

  bool Remove(const CTARNNetSearchResultFile* file) override;
  void Clear() override;

  // Bytes of the names and other texts the results hold.
  size_t HeldBytes() const;

  int GetCategory() const;
  std::vector<std::string> GetWords() const;

  // The category test: the type names the category, or the name's extension belongs to it.
  static bool MatchesCategory(const _tagStructSharedFileInfo& info, int category);

 private:
  void Merge(CTARNNetSearchResultFile& result, const _tagStructSharedFileInfo& answer);

  const size_t maxBytes_;
  size_t heldBytes_ = 0;
  ITARNNetP2PSearchEventHandler* sink_ = nullptr;
  uint32_t idCounter_ = 0;
  int category_ = 0;
  Search::CSearchWordFilter words_;
};

}  // namespace P2P::Shared::File::SearchResultFile
