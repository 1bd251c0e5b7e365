#include "service/automation/P2PSharedFileList.h"

#include "engine/upload/UploadFileManager.h"
#include "service/automation/P2PSharedFile.h"

namespace OSTREL::COM {

CP2PSharedFileList::CP2PSharedFileList(std::shared_ptr<SAutomationContext> context)
    : CRecordsImplT(std::move(context), IEngineEventSubscriber::Source::kSharedFiles,
                    &DeliverFileEvent) {}

std::optional<size_t> CP2PSharedFileList::CountOf() {
  auto* uploads = context_->engine->Uploads();
  if (uploads == nullptr) return std::nullopt;
  return uploads->List().Count();
}

std::shared_ptr<IP2PSharedFile> CP2PSharedFileList::ItemAt(size_t position) {
  auto* uploads = context_->engine->Uploads();
  if (uploads == nullptr) return nullptr;
  auto file = uploads->List().At(position);
  return file ? std::make_shared<CP2PSharedFile>(context_, std::move(file)) : nullptr;
}

HRESULT CP2PSharedFileList::GetRows(std::vector<SSharedRowData>* rows) {
  auto* uploads = context_->engine->Uploads();
  return ItemRows<CP2PSharedFile>(context_, uploads ? &uploads->List() : nullptr, rows,
                                  &SharedRowOf);
}

std::shared_ptr<IP2PSharedFile> CP2PSharedFileList::ItemByKey(uint32_t key) {
  auto* uploads = context_->engine->Uploads();
  if (uploads == nullptr) return nullptr;
  auto file = uploads->List().FindById(key);
  return file ? std::make_shared<CP2PSharedFile>(context_, std::move(file)) : nullptr;
}

}  // namespace OSTREL::COM
