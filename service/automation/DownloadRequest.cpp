#include "service/automation/DownloadRequest.h"

#include "engine/protocol/Limits.h"

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
  if (hash == nullptr || size == 0) return E_INVALIDARG;
  // A half-decoded hash would start a download of a file nobody has.
  if (hash->size() != 32) return E_INVALIDARG;
  const auto decoded = P2P::_tagUnionHash::FromHex(*hash);
  if (!decoded) return E_INVALIDARG;
  const uint32_t bytes = static_cast<uint32_t>(size);
  if (bytes > P2P::Protocol::kMaxSmallFileSize) return E_INVALIDARG;

  record = {};
  record.hash = *decoded;
  record.info.size = bytes;
  record.info.name = kDefaultDownloadName;
  return ApplyDownloadTarget(folder, name, record);
}

}  // namespace OSTREL::COM
