#include "service/automation/P2PServer.h"

#include "engine/servers/ServerManager.h"

namespace OSTREL::COM {

using P2P::Remote::Server::_tagStructServerInfo;

CP2PServer::CP2PServer(std::shared_ptr<SAutomationContext> context,
                       const _tagStructServerInfo* server)
    : context_(std::move(context)), server_(server) {}

std::optional<_tagStructServerInfo> CP2PServer::Snapshot() const {
  auto* servers = context_->engine->Servers();
  if (servers == nullptr || server_ == nullptr) return std::nullopt;
  OSTREL::Process::CLock guard(servers->List().Lock());
  return P2P::Remote::Server::SnapshotOf(*server_);
}

HRESULT CP2PServer::get_Key(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.id); });
}
HRESULT CP2PServer::get_IP(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.address); });
}
HRESULT CP2PServer::get_Port(int16_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int16_t>(s.port); });
}
HRESULT CP2PServer::get_Name(std::string* value) {
  return Answer(value, [](const auto& s) { return s.name; });
}
HRESULT CP2PServer::get_Description(std::string* value) {
  return Answer(value, [](const auto& s) { return s.description; });
}
HRESULT CP2PServer::get_Users(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.status.users); });
}
HRESULT CP2PServer::get_MaxUsers(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.status.maxUsers); });
}
HRESULT CP2PServer::get_Files(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.status.files); });
}
HRESULT CP2PServer::get_SoftFiles(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.status.softFiles); });
}
HRESULT CP2PServer::get_HardFiles(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.status.hardFiles); });
}
HRESULT CP2PServer::get_Ping(int32_t* value) {
  return Answer(value, [](const auto& s) { return static_cast<int32_t>(s.ping); });
}
HRESULT CP2PServer::Reserved(const OptionalText&) { return S_OK; }

}  // namespace OSTREL::COM
