// The engine's downloads as an automation collection, with the download events. `Add` and
// `Remove` are not supported (downloads start through the service manager). Any thread.
#pragma once

#include "service/automation/CollectionImpl.h"

namespace OSTREL::COM {

class CP2PDownloadFileList : public CCollectionImplT<IP2PDownloadFileList, IP2PDownloadFile,
                                                     _IP2PDownloadFileListEvents> {
 public:
  explicit CP2PDownloadFileList(std::shared_ptr<SAutomationContext> context);

  HRESULT GetRows(std::vector<SDownloadRowData>* rows) override;

  HRESULT Add(const OptionalText&) override { return E_FAIL; }
  HRESULT Remove(const OptionalText&) override { return E_FAIL; }

 protected:
  std::optional<size_t> CountOf() override;
  std::shared_ptr<IP2PDownloadFile> ItemAt(size_t position) override;
  std::shared_ptr<IP2PDownloadFile> ItemByKey(uint32_t key) override;
};

}  // namespace OSTREL::COM
