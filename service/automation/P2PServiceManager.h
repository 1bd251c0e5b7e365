// The service manager, the one object clients create: it makes the list, configuration and
// request objects (a new one on every call, all over the same engine) and starts downloads
// by hash. Any thread.
#pragma once

#include <memory>

#include "service/automation/AutomationContext.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

class CP2PServiceManager : public IP2PServiceManager {
 public:
  explicit CP2PServiceManager(std::shared_ptr<SAutomationContext> context)
      : context_(std::move(context)) {}

  HRESULT get_ServerList(std::shared_ptr<IP2PServerList>* list) override;
  HRESULT get_SharedFileList(std::shared_ptr<IP2PSharedFileList>* list) override;
  HRESULT get_DownloadFileList(std::shared_ptr<IP2PDownloadFileList>* list) override;
  HRESULT get_Config(std::shared_ptr<IP2PConfig>* config) override;
  HRESULT get_SearchRequest(std::shared_ptr<IP2PSearchRequest>* request) override;
  HRESULT get_SearchResultFileList(std::shared_ptr<IP2PSearchResultFileList>* list) override;
  // S_OK when a download started, S_FALSE when the engine declined (already downloading or
  // shared, or the part files could not be made), E_INVALIDARG for a malformed request.
  HRESULT AddDownload(const std::string* hash, int32_t size, const OptionalText& folder,
                      const OptionalText& name) override;
  // As AddDownload, and STG_E_MEDIUMFULL with `reason` when the temp folder's disk cannot
  // hold the file.
  HRESULT AddDownload64(const std::string* hash, uint64_t size, const OptionalText& folder,
                        const OptionalText& name, std::string* reason) override;

 private:
  std::shared_ptr<SAutomationContext> context_;
};

}  // namespace OSTREL::COM
