// The engine's server list as an automation collection, with the server events. Any thread.
#pragma once

#include "service/automation/CollectionImpl.h"

namespace OSTREL::COM {

class CP2PServerList
    : public CCollectionImplT<IP2PServerList, IP2PServer, _IP2PServerListEvents> {
 public:
  explicit CP2PServerList(std::shared_ptr<SAutomationContext> context);

  HRESULT GetRows(std::vector<SServerRowData>* rows) override;

 protected:
  std::optional<size_t> CountOf() override;
  std::shared_ptr<IP2PServer> ItemAt(size_t position) override;
  std::shared_ptr<IP2PServer> ItemByKey(uint32_t key) override;
};

}  // namespace OSTREL::COM
