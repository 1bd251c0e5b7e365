// The engine's shared files as an automation collection, with the shared-file events and
// their records. `Add` and `Remove` are not supported (the folder monitor decides what is
// shared). Any thread.
#pragma once

#include "service/automation/CollectionImpl.h"
#include "service/automation/RecordsImpl.h"

namespace OSTREL::COM {

class CP2PSharedFileList
    : public CRecordsImplT<
          CCollectionImplT<IP2PSharedFileList, IP2PSharedFile, _IP2PSharedFileListEvents>,
          IP2PSharedFile, SSharedFileRecord> {
 public:
  explicit CP2PSharedFileList(std::shared_ptr<SAutomationContext> context);

  HRESULT GetRows(std::vector<SSharedRowData>* rows) override;

  HRESULT Add(const OptionalText&) override { return E_FAIL; }
  HRESULT Remove(const OptionalText&) override { return E_FAIL; }

 protected:
  std::optional<size_t> CountOf() override;
  std::shared_ptr<IP2PSharedFile> ItemAt(size_t position) override;
  std::shared_ptr<IP2PSharedFile> ItemByKey(uint32_t key) override;
};

}  // namespace OSTREL::COM
