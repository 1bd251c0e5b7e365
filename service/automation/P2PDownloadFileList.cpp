#include "service/automation/P2PDownloadFileList.h"

#include "engine/download/DownloadFileManager.h"
#include "service/automation/P2PDownloadFile.h"

namespace OSTREL::COM {

CP2PDownloadFileList::CP2PDownloadFileList(std::shared_ptr<SAutomationContext> context)
    : CCollectionImplT(std::move(context), IEngineEventSubscriber::Source::kDownloads,
                       &DeliverFileEvent) {}

std::optional<size_t> CP2PDownloadFileList::CountOf() {
  auto* downloads = context_->engine->Downloads();
  if (downloads == nullptr) return std::nullopt;
  return downloads->List().Count();
}

std::shared_ptr<IP2PDownloadFile> CP2PDownloadFileList::ItemAt(size_t position) {
  auto* downloads = context_->engine->Downloads();
  if (downloads == nullptr) return nullptr;
  auto file = downloads->List().At(position);
  return file ? std::make_shared<CP2PDownloadFile>(context_, std::move(file)) : nullptr;
}

HRESULT CP2PDownloadFileList::GetRows(std::vector<SDownloadRowData>* rows) {
  auto* downloads = context_->engine->Downloads();
  return ItemRows<CP2PDownloadFile>(context_, downloads ? &downloads->List() : nullptr, rows,
                                    &DownloadRowOf);
}

std::shared_ptr<IP2PDownloadFile> CP2PDownloadFileList::ItemByKey(uint32_t key) {
  auto* downloads = context_->engine->Downloads();
  if (downloads == nullptr) return nullptr;
  auto file = downloads->List().FindById(key);
  return file ? std::make_shared<CP2PDownloadFile>(context_, std::move(file)) : nullptr;
}

}  // namespace OSTREL::COM
