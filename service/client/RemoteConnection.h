// The connection interface of the service manager's object, called over the bus. The thread
// rule of CApiClient applies.
#pragma once

#include <TarnSvcProxy.h>

#include <memory>
#include <string>

#include "service/automation/P2PConnection.h"

namespace OSTREL::COM {

class CConnectionGlue final
    : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::Connection_proxy> {
 public:
  CConnectionGlue(sdbus::IConnection& connection, std::string destination, std::string path)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)) {
    registerProxy();
  }
  ~CConnectionGlue() { unregisterProxy(); }
};

class CRemoteConnection final : public IP2PConnection {
 public:
  CRemoteConnection(sdbus::IConnection& connection, const std::string& destination,
                    const std::string& path)
      : glue_(std::make_unique<CConnectionGlue>(connection, destination, path)) {}

  HRESULT GetConnectionState(SConnectionState* state) override;
  HRESULT AddServer(const std::string& address) override;
  HRESULT RemoveServer(const std::string& address) override;
  HRESULT ConnectServer(const std::string& address) override;
  HRESULT GetTransferTotals(STransferTotals* totals) override;
  HRESULT GetUploadQueue(std::vector<SUploadQueueEntry>* entries) override;

 private:
  std::unique_ptr<CConnectionGlue> glue_;
};

}  // namespace OSTREL::COM
