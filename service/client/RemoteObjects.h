// The remote objects of the automation API: each implements its C++ interface by calling the
// generated proxy of its D-Bus object, wraps the object paths it receives into further remote
// objects, and releases its object in the service when it is destroyed. The thread rule of
// CApiClient applies.
#pragma once

#include <memory>
#include <string>

#include <TarnSvcProxy.h>

#include "service/client/ApiClient.h"
#include "service/client/RemoteSinks.h"

namespace OSTREL::COM {

class CServiceManagerGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PServiceManager_proxy, com::ostrel::TarnSvc::IUnknown_proxy> {
 public:
  CServiceManagerGlue(sdbus::IConnection& connection, std::string destination, std::string path)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)) {
    registerProxy();
  }
  ~CServiceManagerGlue() { unregisterProxy(); }
};

class CRemoteServiceManager final : public IP2PServiceManager {
 public:
  CRemoteServiceManager(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteServiceManager() override;

  HRESULT get_ServerList(std::shared_ptr<IP2PServerList>* list) override;
  HRESULT get_SharedFileList(std::shared_ptr<IP2PSharedFileList>* list) override;
  HRESULT get_DownloadFileList(std::shared_ptr<IP2PDownloadFileList>* list) override;
  HRESULT get_Config(std::shared_ptr<IP2PConfig>* config) override;
  HRESULT get_SearchRequest(std::shared_ptr<IP2PSearchRequest>* request) override;
  HRESULT get_SearchResultFileList(std::shared_ptr<IP2PSearchResultFileList>* list) override;
  HRESULT AddDownload(const std::string* hash, int32_t size, const OptionalText& folder, const OptionalText& name) override;

 private:
  CApiClient& client_;
  std::unique_ptr<CServiceManagerGlue> glue_;
};

class CConfigGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PConfig_proxy, com::ostrel::TarnSvc::IUnknown_proxy> {
 public:
  CConfigGlue(sdbus::IConnection& connection, std::string destination, std::string path)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)) {
    registerProxy();
  }
  ~CConfigGlue() { unregisterProxy(); }
};

class CRemoteConfig final : public IP2PConfig {
 public:
  CRemoteConfig(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteConfig() override;

  HRESULT get_UserName(std::string* value) override;
  HRESULT put_UserName(const std::string& value) override;
  HRESULT get_TCPPort(int16_t* value) override;
  HRESULT put_TCPPort(int16_t value) override;
  HRESULT get_UDPPort(int16_t* value) override;
  HRESULT put_UDPPort(int16_t value) override;
  HRESULT get_ConfigPath(std::string* value) override;
  HRESULT get_TempPath(std::string* value) override;
  HRESULT get_SharedPath(std::string* value) override;

 private:
  CApiClient& client_;
  std::unique_ptr<CConfigGlue> glue_;
};

class CServerListGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PServerList_proxy, com::ostrel::TarnSvc::IUnknown_proxy, com::ostrel::TarnSvc::IConnectionPoint_proxy, com::ostrel::TarnSvc::_IP2PServerListEvents_proxy> {
 public:
  CServerListGlue(sdbus::IConnection& connection, std::string destination, std::string path,
      CRemoteSinks<_IP2PServerListEvents>& sinks)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)), sinks_(sinks) {
    registerProxy();
  }
  ~CServerListGlue() { unregisterProxy(); }

 private:
  void onOnServerAdded(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnServerAdded(key);
  }
  void onOnServerChanged(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnServerChanged(key);
  }
  void onOnServerRemoved(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnServerRemoved(key);
  }
  CRemoteSinks<_IP2PServerListEvents>& sinks_;
};

class CRemoteServerList final : public IP2PServerList {
 public:
  CRemoteServerList(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteServerList() override;

  HRESULT get_Item(int32_t index, std::shared_ptr<IP2PServer>* item) override;
  HRESULT get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) override;
  HRESULT get_Count(int32_t* count) override;
  HRESULT get_ItemByKey(int32_t key, std::shared_ptr<IP2PServer>* item) override;
  HRESULT Advise(std::shared_ptr<_IP2PServerListEvents> sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;

 private:
  CApiClient& client_;
  CRemoteSinks<_IP2PServerListEvents> sinks_;
  uint32_t remoteCookie_ = 0;
  std::unique_ptr<CServerListGlue> glue_;
};

class CServerGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PServer_proxy, com::ostrel::TarnSvc::IUnknown_proxy> {
 public:
  CServerGlue(sdbus::IConnection& connection, std::string destination, std::string path)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)) {
    registerProxy();
  }
  ~CServerGlue() { unregisterProxy(); }
};

class CRemoteServer final : public IP2PServer {
 public:
  CRemoteServer(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteServer() override;

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
  CApiClient& client_;
  std::unique_ptr<CServerGlue> glue_;
};

class CDownloadFileListGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PDownloadFileList_proxy, com::ostrel::TarnSvc::IUnknown_proxy, com::ostrel::TarnSvc::IConnectionPoint_proxy, com::ostrel::TarnSvc::_IP2PDownloadFileListEvents_proxy> {
 public:
  CDownloadFileListGlue(sdbus::IConnection& connection, std::string destination, std::string path,
      CRemoteSinks<_IP2PFileListEvents>& sinks)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)), sinks_(sinks) {
    registerProxy();
  }
  ~CDownloadFileListGlue() { unregisterProxy(); }

 private:
  void onOnFileAdded(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnFileAdded(key);
  }
  void onOnFileChanged(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnFileChanged(key);
  }
  void onOnFileRemoved(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnFileRemoved(key);
  }
  CRemoteSinks<_IP2PFileListEvents>& sinks_;
};

class CRemoteDownloadFileList final : public IP2PDownloadFileList {
 public:
  CRemoteDownloadFileList(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteDownloadFileList() override;

  HRESULT get_Item(int32_t index, std::shared_ptr<IP2PDownloadFile>* item) override;
  HRESULT get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) override;
  HRESULT get_Count(int32_t* count) override;
  HRESULT get_ItemByKey(int32_t key, std::shared_ptr<IP2PDownloadFile>* item) override;
  HRESULT Add(const OptionalText& item) override;
  HRESULT Remove(const OptionalText& item) override;
  HRESULT Advise(std::shared_ptr<_IP2PFileListEvents> sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;

 private:
  CApiClient& client_;
  CRemoteSinks<_IP2PFileListEvents> sinks_;
  uint32_t remoteCookie_ = 0;
  std::unique_ptr<CDownloadFileListGlue> glue_;
};

class CDownloadFileGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PDownloadFile_proxy, com::ostrel::TarnSvc::IUnknown_proxy> {
 public:
  CDownloadFileGlue(sdbus::IConnection& connection, std::string destination, std::string path)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)) {
    registerProxy();
  }
  ~CDownloadFileGlue() { unregisterProxy(); }
};

class CRemoteDownloadFile final : public IP2PDownloadFile {
 public:
  CRemoteDownloadFile(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteDownloadFile() override;

  HRESULT get_Key(int32_t* value) override;
  HRESULT get_FullPathName(std::string* value) override;
  HRESULT get_Hash(std::string* value) override;
  HRESULT get_Name(std::string* value) override;
  HRESULT Rename(const std::string* name) override;
  HRESULT get_AlternativeNames(std::string* value) override;
  HRESULT get_Size(int32_t* value) override;
  HRESULT get_TypeName(std::string* value) override;
  HRESULT get_CreationTime(std::string* value) override;
  HRESULT get_LastWriteTime(std::string* value) override;
  HRESULT get_Nodes(int32_t* value) override;
  HRESULT get_CompletedSize(int32_t* value) override;
  HRESULT get_CompleteNodes(int32_t* value) override;
  HRESULT get_Duration(std::string* value) override;
  HRESULT get_Bitrate(int32_t* value) override;
  HRESULT get_Album(std::string* value) override;
  HRESULT get_Artist(std::string* value) override;
  HRESULT get_Title(std::string* value) override;
  HRESULT get_Codec(std::string* value) override;
  HRESULT get_ReceivedSize(int32_t* value) override;
  HRESULT get_Speed(int32_t* value) override;
  HRESULT get_IsPaused(int16_t* value) override;
  HRESULT get_IsStopped(int16_t* value) override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT Resume() override;
  HRESULT Cancel() override;

 private:
  CApiClient& client_;
  std::unique_ptr<CDownloadFileGlue> glue_;
};

class CSharedFileListGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PSharedFileList_proxy, com::ostrel::TarnSvc::IUnknown_proxy, com::ostrel::TarnSvc::IConnectionPoint_proxy, com::ostrel::TarnSvc::_IP2PSharedFileListEvents_proxy> {
 public:
  CSharedFileListGlue(sdbus::IConnection& connection, std::string destination, std::string path,
      CRemoteSinks<_IP2PFileListEvents>& sinks)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)), sinks_(sinks) {
    registerProxy();
  }
  ~CSharedFileListGlue() { unregisterProxy(); }

 private:
  void onOnFileAdded(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnFileAdded(key);
  }
  void onOnFileChanged(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnFileChanged(key);
  }
  void onOnFileRemoved(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnFileRemoved(key);
  }
  CRemoteSinks<_IP2PFileListEvents>& sinks_;
};

class CRemoteSharedFileList final : public IP2PSharedFileList {
 public:
  CRemoteSharedFileList(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteSharedFileList() override;

  HRESULT get_Item(int32_t index, std::shared_ptr<IP2PSharedFile>* item) override;
  HRESULT get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) override;
  HRESULT get_Count(int32_t* count) override;
  HRESULT get_ItemByKey(int32_t key, std::shared_ptr<IP2PSharedFile>* item) override;
  HRESULT Add(const OptionalText& item) override;
  HRESULT Remove(const OptionalText& item) override;
  HRESULT Advise(std::shared_ptr<_IP2PFileListEvents> sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;

 private:
  CApiClient& client_;
  CRemoteSinks<_IP2PFileListEvents> sinks_;
  uint32_t remoteCookie_ = 0;
  std::unique_ptr<CSharedFileListGlue> glue_;
};

class CSharedFileGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PSharedFile_proxy, com::ostrel::TarnSvc::IUnknown_proxy> {
 public:
  CSharedFileGlue(sdbus::IConnection& connection, std::string destination, std::string path)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)) {
    registerProxy();
  }
  ~CSharedFileGlue() { unregisterProxy(); }
};

class CRemoteSharedFile final : public IP2PSharedFile {
 public:
  CRemoteSharedFile(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteSharedFile() override;

  HRESULT get_Key(int32_t* value) override;
  HRESULT get_FullPathName(std::string* value) override;
  HRESULT get_Hash(std::string* value) override;
  HRESULT get_Name(std::string* value) override;
  HRESULT Rename(const std::string* name) override;
  HRESULT get_Size(int32_t* value) override;
  HRESULT get_TypeName(std::string* value) override;
  HRESULT get_CreationTime(std::string* value) override;
  HRESULT get_LastWriteTime(std::string* value) override;

 private:
  CApiClient& client_;
  std::unique_ptr<CSharedFileGlue> glue_;
};

class CSearchResultFileListGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PSearchResultFileList_proxy, com::ostrel::TarnSvc::IUnknown_proxy, com::ostrel::TarnSvc::IConnectionPoint_proxy, com::ostrel::TarnSvc::_IP2PSearchResultFileListEvents_proxy> {
 public:
  CSearchResultFileListGlue(sdbus::IConnection& connection, std::string destination, std::string path,
      CRemoteSinks<_IP2PSearchResultFileListEvents>& sinks)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)), sinks_(sinks) {
    registerProxy();
  }
  ~CSearchResultFileListGlue() { unregisterProxy(); }

 private:
  void onOnResultsCleared() override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnResultsCleared();
  }
  void onOnResultAdded(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnResultAdded(key);
  }
  void onOnResultChanged(const uint32_t& key) override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnResultChanged(key);
  }
  void onOnSearchNotify() override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnSearchNotify();
  }
  CRemoteSinks<_IP2PSearchResultFileListEvents>& sinks_;
};

class CRemoteSearchResultFileList final : public IP2PSearchResultFileList {
 public:
  CRemoteSearchResultFileList(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteSearchResultFileList() override;

  HRESULT get_Item(int32_t index, std::shared_ptr<IP2PSearchResultFile>* item) override;
  HRESULT get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) override;
  HRESULT get_Count(int32_t* count) override;
  HRESULT get_ItemByKey(int32_t key, std::shared_ptr<IP2PSearchResultFile>* item) override;
  HRESULT Download(int32_t key, const OptionalText& folder, const OptionalText& name) override;
  HRESULT Advise(std::shared_ptr<_IP2PSearchResultFileListEvents> sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;

 private:
  CApiClient& client_;
  CRemoteSinks<_IP2PSearchResultFileListEvents> sinks_;
  uint32_t remoteCookie_ = 0;
  std::unique_ptr<CSearchResultFileListGlue> glue_;
};

class CSearchResultFileGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PSearchResultFile_proxy, com::ostrel::TarnSvc::IUnknown_proxy> {
 public:
  CSearchResultFileGlue(sdbus::IConnection& connection, std::string destination, std::string path)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)) {
    registerProxy();
  }
  ~CSearchResultFileGlue() { unregisterProxy(); }
};

class CRemoteSearchResultFile final : public IP2PSearchResultFile {
 public:
  CRemoteSearchResultFile(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteSearchResultFile() override;

  HRESULT get_Key(int32_t* value) override;
  HRESULT get_Hash(std::string* value) override;
  HRESULT get_Name(std::string* value) override;
  HRESULT get_AlternativeNames(std::string* value) override;
  HRESULT get_Size(int32_t* value) override;
  HRESULT get_Format(std::string* value) override;
  HRESULT get_Tag5Value(int32_t* value) override;
  HRESULT get_Nodes(int32_t* value) override;
  HRESULT get_CompleteNodes(int32_t* value) override;
  HRESULT get_TypeName(std::string* value) override;
  HRESULT get_Duration(std::string* value) override;
  HRESULT get_Bitrate(int32_t* value) override;
  HRESULT get_Album(std::string* value) override;
  HRESULT get_Artist(std::string* value) override;
  HRESULT get_Title(std::string* value) override;
  HRESULT get_Codec(std::string* value) override;

 private:
  CApiClient& client_;
  std::unique_ptr<CSearchResultFileGlue> glue_;
};

class CSearchRequestGlue final : public sdbus::ProxyInterfaces<com::ostrel::TarnSvc::IP2PSearchRequest_proxy, com::ostrel::TarnSvc::IUnknown_proxy, com::ostrel::TarnSvc::IConnectionPoint_proxy, com::ostrel::TarnSvc::_IP2PSearchRequestEvents_proxy> {
 public:
  CSearchRequestGlue(sdbus::IConnection& connection, std::string destination, std::string path,
      CRemoteSinks<_IP2PSearchRequestEvents>& sinks)
      : ProxyInterfaces(connection, std::move(destination), std::move(path)), sinks_(sinks) {
    registerProxy();
  }
  ~CSearchRequestGlue() { unregisterProxy(); }

 private:
  void onOnSearchStarted() override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnSearchStarted();
  }
  void onOnSearchNotify() override {
    for (const auto& sink : sinks_.Snapshot()) sink->OnSearchNotify();
  }
  CRemoteSinks<_IP2PSearchRequestEvents>& sinks_;
};

class CRemoteSearchRequest final : public IP2PSearchRequest {
 public:
  CRemoteSearchRequest(CApiClient& client, const sdbus::ObjectPath& path);
  ~CRemoteSearchRequest() override;

  HRESULT get_Keyword(std::string* value) override;
  HRESULT put_Keyword(const std::string& value) override;
  HRESULT get_FileType(std::string* value) override;
  HRESULT put_FileType(const std::string& value) override;
  HRESULT get_Extension(std::string* value) override;
  HRESULT put_Extension(const std::string& value) override;
  HRESULT get_MinSize(int32_t* value) override;
  HRESULT put_MinSize(int32_t value) override;
  HRESULT get_MaxSize(int32_t* value) override;
  HRESULT put_MaxSize(int32_t value) override;
  HRESULT get_Availability(int32_t* value) override;
  HRESULT put_Availability(int32_t value) override;
  HRESULT get_CompleteSources(int16_t* value) override;
  HRESULT put_CompleteSources(int16_t value) override;
  HRESULT get_MinBitrate(int32_t* value) override;
  HRESULT put_MinBitrate(int32_t value) override;
  HRESULT get_MinLength(int32_t* value) override;
  HRESULT put_MinLength(int32_t value) override;
  HRESULT get_Codec(std::string* value) override;
  HRESULT put_Codec(const std::string& value) override;
  HRESULT get_Title(std::string* value) override;
  HRESULT put_Title(const std::string& value) override;
  HRESULT get_Album(std::string* value) override;
  HRESULT put_Album(const std::string& value) override;
  HRESULT get_Artist(std::string* value) override;
  HRESULT put_Artist(const std::string& value) override;
  HRESULT Search() override;
  HRESULT Advise(std::shared_ptr<_IP2PSearchRequestEvents> sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;

 private:
  CApiClient& client_;
  CRemoteSinks<_IP2PSearchRequestEvents> sinks_;
  uint32_t remoteCookie_ = 0;
  std::unique_ptr<CSearchRequestGlue> glue_;
};

}  // namespace OSTREL::COM
