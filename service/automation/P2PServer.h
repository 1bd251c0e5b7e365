// One index server as an automation item: reads a snapshot of the engine's server record
// (taken under the server list's lock) on every call. Server records stay valid for the
// engine's life, so the item needs no reference. Any thread.
#pragma once

#include <memory>
#include <optional>

#include "engine/servers/ServerInfo.h"
#include "service/automation/AutomationContext.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

class CP2PServer : public IP2PServer {
 public:
  CP2PServer(std::shared_ptr<SAutomationContext> context,
             const P2P::Remote::Server::_tagStructServerInfo* server);

  HRESULT get_Key(int32_t* value) override;
  HRESULT get_IP(int32_t* value) override;
  HRESULT get_Port(int16_t* value) override;
  HRESULT get_Name(std::string* value) override;
  HRESULT get_Description(std::string* value) override;
  HRESULT get_Users(int32_t* value) override;
  HRESULT get_MaxUsers(int32_t* value) override;
  HRESULT get_Files(int32_t* value) override;
  HRESULT get_SoftFiles(int32_t* value) override;
  HRESULT get_HardFiles(int32_t* value) override;
  HRESULT get_Ping(int32_t* value) override;
  HRESULT Reserved(const OptionalText& value) override;

 private:
  std::optional<P2P::Remote::Server::_tagStructServerInfo> Snapshot() const;
  template <typename T, typename Read>
  HRESULT Answer(T* out, Read read) const {
    if (out == nullptr) return E_POINTER;
    const auto server = Snapshot();
    if (!server) return E_FAIL;
    *out = read(*server);
    return S_OK;
  }

  std::shared_ptr<SAutomationContext> context_;
  const P2P::Remote::Server::_tagStructServerInfo* server_;
};

}  // namespace OSTREL::COM
