#include "engine/search/SearchResultFileList.h"

#include <algorithm>
#include <limits>

#include "engine/library/FileCategory.h"

namespace P2P::Shared::File::SearchResultFile {
namespace {

// Servers choose the counts; a sum past 32 bits stays at the top instead of wrapping to few.
uint32_t SaturatingAdd(uint32_t a, uint32_t b) {
  const uint32_t top = std::numeric_limits<uint32_t>::max();
  return b > top - a ? top : a + b;
}

size_t TextBytes(const _tagStructSharedFileInfo& info) {
  return info.name.size() + info.targetFolder.size() + info.fullPathName.size() +
         info.otherName.size() + info.format.size() + info.type.size() + info.mediaAlbum.size() +
         info.mediaArtist.size() + info.mediaTitle.size() + info.mediaCodec.size() +
         info.mediaLength.size();
}

void FillIfEmpty(std::string& field, const std::string& answer) {
  if (field.empty()) field = answer;
}

}  // namespace

void CTARNNetSearchResultFileList::SetEventSink(ITARNNetP2PSearchEventHandler* sink) {
  OSTREL::Process::CLock guard(lock_);
  sink_ = sink;
}

void CTARNNetSearchResultFileList::BeginSearch(std::string_view text, int category) {
  OSTREL::Process::CLock guard(lock_);
  Clear();
  words_ = Search::CSearchWordFilter(text);
  category_ = category;
}

bool CTARNNetSearchResultFileList::Remove(const CTARNNetSearchResultFile* file) {
  OSTREL::Process::CLock guard(lock_);
  if (!file || !Contains(file)) return false;
  heldBytes_ -= std::min(heldBytes_, TextBytes(file->GetRecord().info));
  return ITARNNetSharedFileListT::Remove(file);
}

void CTARNNetSearchResultFileList::Clear() {
  OSTREL::Process::CLock guard(lock_);
  heldBytes_ = 0;
  ITARNNetSharedFileListT::Clear();
}

size_t CTARNNetSearchResultFileList::HeldBytes() const {
  OSTREL::Process::CLock guard(lock_);
  return heldBytes_;
}

int CTARNNetSearchResultFileList::GetCategory() const {
  OSTREL::Process::CLock guard(lock_);
  return category_;
}

std::vector<std::string> CTARNNetSearchResultFileList::GetWords() const {
  OSTREL::Process::CLock guard(lock_);
  return words_.Words();
}

bool CTARNNetSearchResultFileList::MatchesCategory(const _tagStructSharedFileInfo& info,
                                                   int category) {
  if (category == kCategoryNone) return true;
  return CategoryFromTypeWord(info.type) == category || CategoryFromFileName(info.name) == category;
}

CTARNNetSearchResultFileList::FilePtr CTARNNetSearchResultFileList::AddFromRecord(
    const _tagStructSharedFile& record) {
  OSTREL::Process::CLock guard(lock_);
  if (FilePtr result = FindByHash(record.hash)) {
    Merge(*result, record.info);
    if (sink_ != nullptr) sink_->OnSearchResultChanged(result->GetRecord());
    return result;
  }
  if (!words_.Matches(record.info.name) || !MatchesCategory(record.info, category_) ||
      files_.size() >= Protocol::kMaxSearchResults)
    return FilePtr();
  const size_t bytes = TextBytes(record.info);
  if (heldBytes_ > maxBytes_ || bytes > maxBytes_ - heldBytes_) return FilePtr();
  FilePtr result(new CTARNNetSearchResultFile(record));
  result->SetId(++idCounter_);
  Add(result);
  heldBytes_ += bytes;
  if (sink_ != nullptr) sink_->OnSearchResultAdded(result->GetRecord());
  return result;
}

void CTARNNetSearchResultFileList::Merge(CTARNNetSearchResultFile& result,
                                         const _tagStructSharedFileInfo& answer) {
  _tagStructSharedFileInfo info = result.GetRecord().info;
  // An answer without a name has no other name to offer.
  if (!answer.name.empty() && !FileNameEquals(answer.name, info.name)) info.otherName = answer.name;
  info.sourceCount = SaturatingAdd(info.sourceCount, answer.sourceCount);
  info.secondCount = SaturatingAdd(info.secondCount, answer.secondCount);
  FillIfEmpty(info.type, answer.type);
  FillIfEmpty(info.mediaLength, answer.mediaLength);
  if (info.mediaBitrate == 0) info.mediaBitrate = answer.mediaBitrate;
  FillIfEmpty(info.mediaAlbum, answer.mediaAlbum);
  FillIfEmpty(info.mediaArtist, answer.mediaArtist);
  FillIfEmpty(info.mediaTitle, answer.mediaTitle);
  FillIfEmpty(info.mediaCodec, answer.mediaCodec);
  heldBytes_ =
      heldBytes_ - std::min(heldBytes_, TextBytes(result.GetRecord().info)) + TextBytes(info);
  result.SetInfo(info);
}

}  // namespace P2P::Shared::File::SearchResultFile
