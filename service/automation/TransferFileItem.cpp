#include "service/automation/TransferFileItem.h"

#include <filesystem>

#include "engine/base/ClientConfig.h"
#include "engine/library/SharedFileRecord.h"
#include "platform/FileTypeName.h"
#include "service/automation/ItemText.h"

namespace OSTREL::COM {

CTransferFileItem::CTransferFileItem(std::shared_ptr<SAutomationContext> context, FilePtr file)
    : context_(std::move(context)), file_(std::move(file)) {}

HRESULT CTransferFileItem::Key(int32_t* value) const {
  return Answer(value, [](File& f) { return static_cast<int32_t>(f.GetId()); });
}
HRESULT CTransferFileItem::FullPathName(std::string* value) const {
  return Answer(value, [](File& f) { return f.GetFullPathName(); });
}
HRESULT CTransferFileItem::Hash(std::string* value) const {
  return Answer(value, [](File& f) { return f.GetHash().ToHex(); });
}
HRESULT CTransferFileItem::Name(std::string* value) const {
  return Answer(value, [](File& f) { return f.GetName(); });
}
HRESULT CTransferFileItem::Size(int32_t* value) const {
  return Answer(value, [](File& f) { return static_cast<int32_t>(f.GetSize()); });
}
HRESULT CTransferFileItem::Size64(uint64_t* value) const {
  return Answer(value, [](File& f) { return f.GetSize(); });
}
HRESULT CTransferFileItem::TypeName(std::string* value) const {
  return Answer(value, [](File& f) { return Platform::FileTypeName(f.GetName()); });
}
HRESULT CTransferFileItem::CreationTime(std::string* value) const {
  return Answer(value, [](File& f) { return FileTimeText(f.GetCreationTime()); });
}
HRESULT CTransferFileItem::LastWriteTime(std::string* value) const {
  return Answer(value, [](File& f) { return FileTimeText(f.GetLastWriteTime()); });
}

HRESULT CTransferFileItem::Rename(const std::string* name) const {
  if (name == nullptr || name->empty()) return E_INVALIDARG;
  // A name that is not a plain file name could move the data out of its folder.
  if (P2P::Shared::SafeFileName(*name) != *name) return E_INVALIDARG;
  if (!file_) return E_FAIL;
  std::filesystem::path folder = std::filesystem::path(file_->GetFullPathName()).parent_path();
  if (file_->GetFullPathName().empty()) {
    const auto* config = context_->engine->Config();
    if (config == nullptr) return E_FAIL;
    folder = config->sharedPath;
  }
  return file_->Data()->SetPath((folder / *name).string()) ? S_OK : E_FAIL;
}

}  // namespace OSTREL::COM
