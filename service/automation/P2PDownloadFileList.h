// The engine's downloads as an automation collection, with the download events and the
// downloads' records (which still answer for downloads that left the list lately). `Add` and
// `Remove` are not supported (downloads start through the service manager). Any thread.
#pragma once

#include "service/automation/CollectionImpl.h"
#include "service/automation/RecordsImpl.h"

namespace OSTREL::COM {

class CP2PDownloadFileList
    : public CRecordsImplT<
          CCollectionImplT<IP2PDownloadFileList, IP2PDownloadFile, _IP2PDownloadFileListEvents>,
          IP2PDownloadFile, SDownloadRecord> {
 public:
  explicit CP2PDownloadFileList(std::shared_ptr<SAutomationContext> context);

  HRESULT GetRows(std::vector<SDownloadRowData>* rows) override;

  HRESULT Add(const OptionalText&) override { return E_FAIL; }
  HRESULT Remove(const OptionalText&) override { return E_FAIL; }

 protected:
  std::optional<size_t> CountOf() override;
  std::shared_ptr<IP2PDownloadFile> ItemAt(size_t position) override;
  std::shared_ptr<IP2PDownloadFile> ItemByKey(uint32_t key) override;
  std::optional<SDownloadRecord> Departed(uint32_t key) override;
};

}  // namespace OSTREL::COM
