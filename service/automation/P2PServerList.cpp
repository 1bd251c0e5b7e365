#include "service/automation/P2PServerList.h"

#include "engine/servers/ServerManager.h"
#include "service/automation/P2PServer.h"

namespace OSTREL::COM {
namespace {

void DeliverServerEvent(_IP2PServerListEvents& sink, IEngineEventSubscriber::Kind kind,
                        uint32_t key) {
  using Kind = IEngineEventSubscriber::Kind;
  switch (kind) {
    case Kind::kAdded: sink.OnServerAdded(key); break;
    case Kind::kChanged: sink.OnServerChanged(key); break;
    case Kind::kRemoved: sink.OnServerRemoved(key); break;
    default: break;
  }
}

}  // namespace

CP2PServerList::CP2PServerList(std::shared_ptr<SAutomationContext> context)
    : CCollectionImplT(std::move(context), IEngineEventSubscriber::Source::kServers,
                       &DeliverServerEvent) {}

std::optional<size_t> CP2PServerList::CountOf() {
  auto* servers = context_->engine->Servers();
  if (servers == nullptr) return std::nullopt;
  return servers->Count();
}

std::shared_ptr<IP2PServer> CP2PServerList::ItemAt(size_t position) {
  auto* servers = context_->engine->Servers();
  if (servers == nullptr) return nullptr;
  OSTREL::Process::CLock guard(servers->List().Lock());
  const auto* server = servers->At(position);
  return server != nullptr ? std::make_shared<CP2PServer>(context_, server) : nullptr;
}

HRESULT CP2PServerList::GetRows(std::vector<SServerRowData>* rows) {
  if (rows == nullptr) return E_POINTER;
  rows->clear();
  auto* servers = context_->engine->Servers();
  if (servers == nullptr) return E_FAIL;
  servers->List().ForEach([&](P2P::Remote::Server::_tagStructServerInfo& server) {
    CP2PServer item(context_, &server);
    rows->push_back(ServerRowOf(item));
    return true;
  });
  return S_OK;
}

std::shared_ptr<IP2PServer> CP2PServerList::ItemByKey(uint32_t key) {
  auto* servers = context_->engine->Servers();
  if (servers == nullptr) return nullptr;
  const auto* server = servers->FindById(key);
  return server != nullptr ? std::make_shared<CP2PServer>(context_, server) : nullptr;
}

}  // namespace OSTREL::COM
