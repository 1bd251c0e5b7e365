#include "service/automation/P2PServiceManager.h"

#include "engine/download/DownloadFileManager.h"
#include "service/automation/DownloadFolders.h"
#include "service/automation/DownloadRequest.h"
#include "service/automation/P2PConfig.h"
#include "service/automation/P2PDownloadFileList.h"
#include "service/automation/P2PSearchRequest.h"
#include "service/automation/P2PSearchResultFileList.h"
#include "service/automation/P2PServerList.h"
#include "service/automation/P2PSharedFileList.h"

namespace OSTREL::COM {
namespace {

template <typename Object, typename Interface>
HRESULT Make(const std::shared_ptr<SAutomationContext>& context,
             std::shared_ptr<Interface>* out) {
  if (out == nullptr) return E_POINTER;
  *out = std::make_shared<Object>(context);
  return S_OK;
}

}  // namespace

HRESULT CP2PServiceManager::get_ServerList(std::shared_ptr<IP2PServerList>* list) {
  return Make<CP2PServerList>(context_, list);
}
HRESULT CP2PServiceManager::get_SharedFileList(std::shared_ptr<IP2PSharedFileList>* list) {
  return Make<CP2PSharedFileList>(context_, list);
}
HRESULT CP2PServiceManager::get_DownloadFileList(std::shared_ptr<IP2PDownloadFileList>* list) {
  return Make<CP2PDownloadFileList>(context_, list);
}
HRESULT CP2PServiceManager::get_Config(std::shared_ptr<IP2PConfig>* config) {
  return Make<CP2PConfig>(context_, config);
}
HRESULT CP2PServiceManager::get_SearchRequest(std::shared_ptr<IP2PSearchRequest>* request) {
  return Make<CP2PSearchRequest>(context_, request);
}
HRESULT CP2PServiceManager::get_SearchResultFileList(
    std::shared_ptr<IP2PSearchResultFileList>* list) {
  return Make<CP2PSearchResultFileList>(context_, list);
}

HRESULT CP2PServiceManager::AddDownload(const std::string* hash, int32_t size,
                                        const OptionalText& folder, const OptionalText& name) {
  P2P::Shared::_tagStructSharedFile record;
  if (const HRESULT hr = BuildDownloadRecord(hash, size, folder, name, record); hr != S_OK)
    return hr;
  return StartDownload(*context_, record, nullptr);
}

HRESULT CP2PServiceManager::AddDownload64(const std::string* hash, uint64_t size,
                                          const OptionalText& folder, const OptionalText& name,
                                          std::string* reason) {
  if (reason != nullptr) reason->clear();
  P2P::Shared::_tagStructSharedFile record;
  if (const HRESULT hr = BuildLargeDownloadRecord(hash, size, folder, name, record); hr != S_OK)
    return hr;
  return StartDownload(*context_, record, reason);
}

}  // namespace OSTREL::COM
