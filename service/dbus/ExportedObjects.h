// The exported object of each automation interface: one D-Bus method per slot, each
// forwarding to the in-process object and answering its HRESULT first. Object results are
// exported for the caller; Advise installs a sink that turns events into signals. Bus thread
// only.
#pragma once

#include <memory>
#include <string>

#include "service/automation/P2PConnection.h"
#include "service/dbus/ApiBus.h"
#include "service/dbus/ExportedObject.h"
#include "service/dbus/SignalSinks.h"

namespace OSTREL::COM {

// The service manager's object also carries the connection interface of the command line.
class CExportedServiceManager final : public CExportedT<IP2PServiceManager, com::ostrel::TarnSvc::IP2PServiceManager_adaptor, com::ostrel::TarnSvc::Connection_adaptor> {
 public:
  CExportedServiceManager(CApiBus& bus, sdbus::IConnection& connection, std::string path,
                          std::shared_ptr<IP2PServiceManager> impl,
                          std::shared_ptr<IP2PConnection> serverConnection)
      : CExportedT(bus, 0, std::string(), connection, std::move(path), std::move(impl)),
        serverConnection_(std::move(serverConnection)) {}
  ~CExportedServiceManager() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, bool, std::string, std::string, uint32_t, bool, uint32_t, uint32_t> GetConnectionState() override;
  int32_t AddServer(const std::string& address) override;
  int32_t RemoveServer(const std::string& address) override;
  int32_t ConnectServer(const std::string& address) override;
  std::tuple<int32_t, uint64_t, uint64_t, uint64_t, uint64_t> GetTransferTotals() override;
  std::tuple<int32_t, std::vector<sdbus::Struct<std::string, std::string, std::string, std::string, bool, uint32_t, uint32_t, uint64_t, double>>> GetUploadQueue() override;

  std::shared_ptr<IP2PConnection> serverConnection_;
  std::tuple<int32_t, sdbus::ObjectPath> get_ServerList() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_SharedFileList() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_DownloadFileList() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_Config() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_SearchRequest() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_SearchResultFileList() override;
  int32_t AddDownload(const std::string& hash, const int32_t& size, const sdbus::Variant& folder, const sdbus::Variant& name) override;
};

class CExportedConfig final : public CExportedT<IP2PConfig, com::ostrel::TarnSvc::IP2PConfig_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedConfig() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, std::string> get_UserName() override;
  int32_t put_UserName(const std::string& value) override;
  std::tuple<int32_t, int16_t> get_TCPPort() override;
  int32_t put_TCPPort(const int16_t& value) override;
  std::tuple<int32_t, int16_t> get_UDPPort() override;
  int32_t put_UDPPort(const int16_t& value) override;
  std::tuple<int32_t, std::string> get_ConfigPath() override;
  std::tuple<int32_t, std::string> get_TempPath() override;
  std::tuple<int32_t, std::string> get_SharedPath() override;
};

class CExportedServerList final : public CExportedT<IP2PServerList, com::ostrel::TarnSvc::IP2PServerList_adaptor, com::ostrel::TarnSvc::IConnectionPoint_adaptor, com::ostrel::TarnSvc::_IP2PServerListEvents_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedServerList() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, sdbus::ObjectPath> get_Item(const int32_t& index) override;
  std::tuple<int32_t, sdbus::ObjectPath> get__NewEnum() override;
  std::tuple<int32_t, int32_t> get_Count() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_ItemByKey(const int32_t& key) override;
  std::tuple<int32_t, uint32_t> Advise() override;
  int32_t Unadvise(const uint32_t& cookie) override { return impl_->Unadvise(cookie); }
};

class CExportedServer final : public CExportedT<IP2PServer, com::ostrel::TarnSvc::IP2PServer_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedServer() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, int32_t> get_Key() override;
  std::tuple<int32_t, int32_t> get_IP() override;
  std::tuple<int32_t, int16_t> get_Port() override;
  std::tuple<int32_t, std::string> get_Name() override;
  std::tuple<int32_t, std::string> get_Description() override;
  std::tuple<int32_t, int32_t> get_Users() override;
  std::tuple<int32_t, int32_t> get_MaxUsers() override;
  std::tuple<int32_t, int32_t> get_Files() override;
  std::tuple<int32_t, int32_t> get_SoftFiles() override;
  std::tuple<int32_t, int32_t> get_HardFiles() override;
  std::tuple<int32_t, int32_t> get_Ping() override;
  int32_t Reserved(const sdbus::Variant& value) override;
};

class CExportedDownloadFileList final : public CExportedT<IP2PDownloadFileList, com::ostrel::TarnSvc::IP2PDownloadFileList_adaptor, com::ostrel::TarnSvc::IConnectionPoint_adaptor, com::ostrel::TarnSvc::_IP2PDownloadFileListEvents_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedDownloadFileList() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, sdbus::ObjectPath> get_Item(const int32_t& index) override;
  std::tuple<int32_t, sdbus::ObjectPath> get__NewEnum() override;
  std::tuple<int32_t, int32_t> get_Count() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_ItemByKey(const int32_t& key) override;
  int32_t Add(const sdbus::Variant& item) override;
  int32_t Remove(const sdbus::Variant& item) override;
  std::tuple<int32_t, uint32_t> Advise() override;
  int32_t Unadvise(const uint32_t& cookie) override { return impl_->Unadvise(cookie); }
};

class CExportedDownloadFile final : public CExportedT<IP2PDownloadFile, com::ostrel::TarnSvc::IP2PDownloadFile_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedDownloadFile() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, int32_t> get_Key() override;
  std::tuple<int32_t, std::string> get_FullPathName() override;
  std::tuple<int32_t, std::string> get_Hash() override;
  std::tuple<int32_t, std::string> get_Name() override;
  int32_t Rename(const std::string& name) override;
  std::tuple<int32_t, std::string> get_AlternativeNames() override;
  std::tuple<int32_t, int32_t> get_Size() override;
  std::tuple<int32_t, std::string> get_TypeName() override;
  std::tuple<int32_t, std::string> get_CreationTime() override;
  std::tuple<int32_t, std::string> get_LastWriteTime() override;
  std::tuple<int32_t, int32_t> get_Nodes() override;
  std::tuple<int32_t, int32_t> get_CompletedSize() override;
  std::tuple<int32_t, int32_t> get_CompleteNodes() override;
  std::tuple<int32_t, std::string> get_Duration() override;
  std::tuple<int32_t, int32_t> get_Bitrate() override;
  std::tuple<int32_t, std::string> get_Album() override;
  std::tuple<int32_t, std::string> get_Artist() override;
  std::tuple<int32_t, std::string> get_Title() override;
  std::tuple<int32_t, std::string> get_Codec() override;
  std::tuple<int32_t, int32_t> get_ReceivedSize() override;
  std::tuple<int32_t, int32_t> get_Speed() override;
  std::tuple<int32_t, int16_t> get_IsPaused() override;
  std::tuple<int32_t, int16_t> get_IsStopped() override;
  int32_t Pause() override;
  int32_t Stop() override;
  int32_t Resume() override;
  int32_t Cancel() override;
};

class CExportedSharedFileList final : public CExportedT<IP2PSharedFileList, com::ostrel::TarnSvc::IP2PSharedFileList_adaptor, com::ostrel::TarnSvc::IConnectionPoint_adaptor, com::ostrel::TarnSvc::_IP2PSharedFileListEvents_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedSharedFileList() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, sdbus::ObjectPath> get_Item(const int32_t& index) override;
  std::tuple<int32_t, sdbus::ObjectPath> get__NewEnum() override;
  std::tuple<int32_t, int32_t> get_Count() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_ItemByKey(const int32_t& key) override;
  int32_t Add(const sdbus::Variant& item) override;
  int32_t Remove(const sdbus::Variant& item) override;
  std::tuple<int32_t, uint32_t> Advise() override;
  int32_t Unadvise(const uint32_t& cookie) override { return impl_->Unadvise(cookie); }
};

class CExportedSharedFile final : public CExportedT<IP2PSharedFile, com::ostrel::TarnSvc::IP2PSharedFile_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedSharedFile() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, int32_t> get_Key() override;
  std::tuple<int32_t, std::string> get_FullPathName() override;
  std::tuple<int32_t, std::string> get_Hash() override;
  std::tuple<int32_t, std::string> get_Name() override;
  int32_t Rename(const std::string& name) override;
  std::tuple<int32_t, int32_t> get_Size() override;
  std::tuple<int32_t, std::string> get_TypeName() override;
  std::tuple<int32_t, std::string> get_CreationTime() override;
  std::tuple<int32_t, std::string> get_LastWriteTime() override;
};

class CExportedSearchResultFileList final : public CExportedT<IP2PSearchResultFileList, com::ostrel::TarnSvc::IP2PSearchResultFileList_adaptor, com::ostrel::TarnSvc::IConnectionPoint_adaptor, com::ostrel::TarnSvc::_IP2PSearchResultFileListEvents_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedSearchResultFileList() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, sdbus::ObjectPath> get_Item(const int32_t& index) override;
  std::tuple<int32_t, sdbus::ObjectPath> get__NewEnum() override;
  std::tuple<int32_t, int32_t> get_Count() override;
  std::tuple<int32_t, sdbus::ObjectPath> get_ItemByKey(const int32_t& key) override;
  int32_t Download(const int32_t& key, const sdbus::Variant& folder, const sdbus::Variant& name) override;
  std::tuple<int32_t, uint32_t> Advise() override;
  int32_t Unadvise(const uint32_t& cookie) override { return impl_->Unadvise(cookie); }
};

class CExportedSearchResultFile final : public CExportedT<IP2PSearchResultFile, com::ostrel::TarnSvc::IP2PSearchResultFile_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedSearchResultFile() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, int32_t> get_Key() override;
  std::tuple<int32_t, std::string> get_Hash() override;
  std::tuple<int32_t, std::string> get_Name() override;
  std::tuple<int32_t, std::string> get_AlternativeNames() override;
  std::tuple<int32_t, int32_t> get_Size() override;
  std::tuple<int32_t, std::string> get_Format() override;
  std::tuple<int32_t, int32_t> get_Tag5Value() override;
  std::tuple<int32_t, int32_t> get_Nodes() override;
  std::tuple<int32_t, int32_t> get_CompleteNodes() override;
  std::tuple<int32_t, std::string> get_TypeName() override;
  std::tuple<int32_t, std::string> get_Duration() override;
  std::tuple<int32_t, int32_t> get_Bitrate() override;
  std::tuple<int32_t, std::string> get_Album() override;
  std::tuple<int32_t, std::string> get_Artist() override;
  std::tuple<int32_t, std::string> get_Title() override;
  std::tuple<int32_t, std::string> get_Codec() override;
};

class CExportedSearchRequest final : public CExportedT<IP2PSearchRequest, com::ostrel::TarnSvc::IP2PSearchRequest_adaptor, com::ostrel::TarnSvc::IConnectionPoint_adaptor, com::ostrel::TarnSvc::_IP2PSearchRequestEvents_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedSearchRequest() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, std::string> get_Keyword() override;
  int32_t put_Keyword(const std::string& value) override;
  std::tuple<int32_t, std::string> get_FileType() override;
  int32_t put_FileType(const std::string& value) override;
  std::tuple<int32_t, std::string> get_Extension() override;
  int32_t put_Extension(const std::string& value) override;
  std::tuple<int32_t, int32_t> get_MinSize() override;
  int32_t put_MinSize(const int32_t& value) override;
  std::tuple<int32_t, int32_t> get_MaxSize() override;
  int32_t put_MaxSize(const int32_t& value) override;
  std::tuple<int32_t, int32_t> get_Availability() override;
  int32_t put_Availability(const int32_t& value) override;
  std::tuple<int32_t, int16_t> get_CompleteSources() override;
  int32_t put_CompleteSources(const int16_t& value) override;
  std::tuple<int32_t, int32_t> get_MinBitrate() override;
  int32_t put_MinBitrate(const int32_t& value) override;
  std::tuple<int32_t, int32_t> get_MinLength() override;
  int32_t put_MinLength(const int32_t& value) override;
  std::tuple<int32_t, std::string> get_Codec() override;
  int32_t put_Codec(const std::string& value) override;
  std::tuple<int32_t, std::string> get_Title() override;
  int32_t put_Title(const std::string& value) override;
  std::tuple<int32_t, std::string> get_Album() override;
  int32_t put_Album(const std::string& value) override;
  std::tuple<int32_t, std::string> get_Artist() override;
  int32_t put_Artist(const std::string& value) override;
  int32_t Search() override;
  std::tuple<int32_t, uint32_t> Advise() override;
  int32_t Unadvise(const uint32_t& cookie) override { return impl_->Unadvise(cookie); }
};

// The exported object for an in-process object of each interface.
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PConfig> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PServerList> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PServer> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PDownloadFileList> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PDownloadFile> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSharedFileList> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSharedFile> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSearchResultFileList> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSearchResultFile> object);
std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSearchRequest> object);

template <typename Impl, typename... Adaptors>
int32_t CExportedT<Impl, Adaptors...>::Release() {
  return Bus().Release(Id(), Caller());
}

template <typename Interface>
std::tuple<int32_t, sdbus::ObjectPath> CApiBus::Export(HRESULT hr, const std::string& owner,
                                                       const std::shared_ptr<Interface>& object) {
  if (!Succeeded(hr) || !object) return {Succeeded(hr) ? E_FAIL : hr, kNoObject};
  std::lock_guard guard(tableLock_);
  auto& owned = ClientLocked(owner);
  if (owned.size() >= maxObjectsPerClient_) return {E_OUTOFMEMORY, kNoObject};
  const uint64_t id = nextId_++;
  const std::string path = kObjectPathPrefix + std::to_string(id);
  try {
    objects_[id] = MakeExported(*this, id, owner, *connection_, path, object);
  } catch (const sdbus::Error&) {
    return {E_FAIL, kNoObject};
  }
  owned.insert(id);
  return {S_OK, sdbus::ObjectPath(path)};
}

}  // namespace OSTREL::COM
