#include "service/automation/P2PSearchResultFileList.h"

#include "engine/download/DownloadFileManager.h"
#include "engine/search/SearchManager.h"
#include "service/automation/DownloadFolders.h"
#include "service/automation/DownloadRequest.h"
#include "service/automation/P2PSearchResultFile.h"

namespace OSTREL::COM {
namespace {

void DeliverResultEvent(_IP2PSearchResultFileListEvents& sink, IEngineEventSubscriber::Kind kind,
                        uint32_t key) {
  using Kind = IEngineEventSubscriber::Kind;
  switch (kind) {
    case Kind::kStarted: sink.OnResultsCleared(); break;
    case Kind::kAdded: sink.OnResultAdded(key); break;
    case Kind::kChanged: sink.OnResultChanged(key); break;
    case Kind::kNotify: sink.OnSearchNotify(); break;
    default: break;
  }
}

}  // namespace

CP2PSearchResultFileList::CP2PSearchResultFileList(std::shared_ptr<SAutomationContext> context)
    : CRecordsImplT(std::move(context), IEngineEventSubscriber::Source::kSearch,
                    &DeliverResultEvent) {}

std::optional<size_t> CP2PSearchResultFileList::CountOf() {
  auto* searches = context_->engine->Searches();
  if (searches == nullptr) return std::nullopt;
  return searches->GetResultList().Count();
}

std::shared_ptr<IP2PSearchResultFile> CP2PSearchResultFileList::ItemAt(size_t position) {
  auto* searches = context_->engine->Searches();
  if (searches == nullptr) return nullptr;
  auto result = searches->GetResultList().At(position);
  return result ? std::make_shared<CP2PSearchResultFile>(std::move(result)) : nullptr;
}

std::shared_ptr<IP2PSearchResultFile> CP2PSearchResultFileList::ItemByKey(uint32_t key) {
  auto* searches = context_->engine->Searches();
  if (searches == nullptr) return nullptr;
  auto result = searches->GetResultList().FindById(key);
  return result ? std::make_shared<CP2PSearchResultFile>(std::move(result)) : nullptr;
}

HRESULT CP2PSearchResultFileList::Download(int32_t key, const OptionalText& folder,
                                           const OptionalText& name) {
  auto* searches = context_->engine->Searches();
  if (searches == nullptr) return E_FAIL;
  const auto result = searches->GetResultList().FindById(static_cast<uint32_t>(key));
  if (!result) return S_FALSE;
  auto record = result->GetRecord();
  if (const HRESULT hr = ApplyDownloadTarget(folder, name, record); hr != S_OK) return hr;
  return StartDownload(*context_, record, nullptr);
}

}  // namespace OSTREL::COM
