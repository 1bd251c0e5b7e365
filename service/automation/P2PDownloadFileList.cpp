#include "service/automation/P2PDownloadFileList.h"

#include "engine/download/DownloadFileManager.h"
#include "platform/FileTypeName.h"
#include "service/automation/ItemText.h"
#include "service/automation/P2PDownloadFile.h"

namespace OSTREL::COM {

CP2PDownloadFileList::CP2PDownloadFileList(std::shared_ptr<SAutomationContext> context)
    : CRecordsImplT(std::move(context), IEngineEventSubscriber::Source::kDownloads,
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

// What the download looked like as it left, and how it ended; the live values (sources,
// speed) are gone with it.
std::optional<SDownloadRecord> CP2PDownloadFileList::Departed(uint32_t key) {
  const auto gone = context_->hub->DepartedDownload(key);
  if (!gone) return std::nullopt;
  const auto& info = gone->file.info;
  SDownloadRecord record;
  record.key = key;
  record.hash = gone->file.hash.ToHex();
  record.name = info.name;
  record.fullPath = info.fullPathName;
  record.size = info.size;
  record.typeName = Platform::FileTypeName(info.name);
  record.lastWriteTime = FileTimeText(info.lastWriteTime);
  record.creationTime = FileTimeText(info.creationTime);
  record.completedSize = gone->completed ? info.size : 0;
  record.receivedSize = record.completedSize;
  record.phase = static_cast<uint32_t>(gone->completed ? EDownloadPhase::kCompleted
                                                       : EDownloadPhase::kRemoved);
  return record;
}

}  // namespace OSTREL::COM
