#include "service/automation/DownloadRequest.h"

#include "engine/download/DownloadFileManager.h"
#include "engine/protocol/Limits.h"
#include "service/automation/AutomationContext.h"
#include "service/automation/DownloadFolders.h"

namespace OSTREL::COM {

HRESULT ApplyDownloadTarget(const OptionalText& folder, const OptionalText& name,
                            P2P::Shared::_tagStructSharedFile& record) {
  if (name) {
    const std::string clean = P2P::Shared::SafeFileName(*name);
    if (name->empty() || clean.empty()) return E_INVALIDARG;
    record.info.name = clean;
  }
  if (folder) record.info.targetFolder = *folder;
  return S_OK;
}

HRESULT BuildDownloadRecord(const std::string* hash, int32_t size, const OptionalText& folder,
                            const OptionalText& name, P2P::Shared::_tagStructSharedFile& record) {
  const uint32_t bytes = static_cast<uint32_t>(size);
  if (bytes > P2P::Protocol::kMaxSmallFileSize) return E_INVALIDARG;
  return BuildLargeDownloadRecord(hash, bytes, folder, name, record);
}

HRESULT BuildLargeDownloadRecord(const std::string* hash, uint64_t size, const OptionalText& folder,
                                 const OptionalText& name,
                                 P2P::Shared::_tagStructSharedFile& record) {
  if (hash == nullptr || size == 0 || size > P2P::Protocol::kMaxFileSize) return E_INVALIDARG;
  // A half-decoded hash would start a download of a file nobody has.
  if (hash->size() != 32) return E_INVALIDARG;
  const auto decoded = P2P::_tagUnionHash::FromHex(*hash);
  if (!decoded) return E_INVALIDARG;

  record = {};
  record.hash = *decoded;
  record.info.size = size;
  record.info.name = kDefaultDownloadName;
  return ApplyDownloadTarget(folder, name, record);
}

HRESULT StartDownload(SAutomationContext& context, P2P::Shared::_tagStructSharedFile& record,
                      std::string* reason) {
  auto* downloads = context.engine->Downloads();
  const auto* config = context.engine->Config();
  if (downloads == nullptr || config == nullptr) return E_FAIL;
  if (const HRESULT hr = ApproveDownloadFolder(*config, record); hr != S_OK) return hr;
  std::string refusal;
  if (downloads->AddDownload(record, &refusal)) return S_OK;
  if (refusal.empty()) return S_FALSE;
  if (reason != nullptr) *reason = std::move(refusal);
  return STG_E_MEDIUMFULL;
}

}  // namespace OSTREL::COM
