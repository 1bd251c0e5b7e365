// The results of the current search as an automation collection, with the search events, the
// results' records, and `Download` of a result by key. Any thread.
#pragma once

#include "service/automation/CollectionImpl.h"
#include "service/automation/RecordsImpl.h"

namespace OSTREL::COM {

class CP2PSearchResultFileList
    : public CRecordsImplT<CCollectionImplT<IP2PSearchResultFileList, IP2PSearchResultFile,
                                            _IP2PSearchResultFileListEvents>,
                           IP2PSearchResultFile, SSearchResultRecord> {
 public:
  explicit CP2PSearchResultFileList(std::shared_ptr<SAutomationContext> context);

  HRESULT Download(int32_t key, const OptionalText& folder, const OptionalText& name) override;

 protected:
  std::optional<size_t> CountOf() override;
  std::shared_ptr<IP2PSearchResultFile> ItemAt(size_t position) override;
  std::shared_ptr<IP2PSearchResultFile> ItemByKey(uint32_t key) override;
};

}  // namespace OSTREL::COM
