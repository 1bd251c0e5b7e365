#include "service/client/RemoteObjects.h"

namespace OSTREL::COM {

template <>
std::shared_ptr<IP2PConfig> CApiClient::Wrap<IP2PConfig>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteConfig>(*this, path);
}

template <>
std::shared_ptr<IP2PServerList> CApiClient::Wrap<IP2PServerList>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteServerList>(*this, path);
}

template <>
std::shared_ptr<IP2PServer> CApiClient::Wrap<IP2PServer>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteServer>(*this, path);
}

template <>
std::shared_ptr<IP2PDownloadFileList> CApiClient::Wrap<IP2PDownloadFileList>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteDownloadFileList>(*this, path);
}

template <>
std::shared_ptr<IP2PDownloadFile> CApiClient::Wrap<IP2PDownloadFile>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteDownloadFile>(*this, path);
}

template <>
std::shared_ptr<IP2PSharedFileList> CApiClient::Wrap<IP2PSharedFileList>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteSharedFileList>(*this, path);
}

template <>
std::shared_ptr<IP2PSharedFile> CApiClient::Wrap<IP2PSharedFile>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteSharedFile>(*this, path);
}

template <>
std::shared_ptr<IP2PSearchResultFileList> CApiClient::Wrap<IP2PSearchResultFileList>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteSearchResultFileList>(*this, path);
}

template <>
std::shared_ptr<IP2PSearchResultFile> CApiClient::Wrap<IP2PSearchResultFile>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteSearchResultFile>(*this, path);
}

template <>
std::shared_ptr<IP2PSearchRequest> CApiClient::Wrap<IP2PSearchRequest>(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<CRemoteSearchRequest>(*this, path);
}

HRESULT CRemoteServiceManager::get_ServerList(std::shared_ptr<IP2PServerList>* list) {
  if (list == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_ServerList();
    *list = client_.Wrap<IP2PServerList>(path);
    return hr;
  });
}

HRESULT CRemoteServiceManager::get_SharedFileList(std::shared_ptr<IP2PSharedFileList>* list) {
  if (list == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_SharedFileList();
    *list = client_.Wrap<IP2PSharedFileList>(path);
    return hr;
  });
}

HRESULT CRemoteServiceManager::get_DownloadFileList(std::shared_ptr<IP2PDownloadFileList>* list) {
  if (list == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_DownloadFileList();
    *list = client_.Wrap<IP2PDownloadFileList>(path);
    return hr;
  });
}

HRESULT CRemoteServiceManager::get_Config(std::shared_ptr<IP2PConfig>* config) {
  if (config == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_Config();
    *config = client_.Wrap<IP2PConfig>(path);
    return hr;
  });
}

HRESULT CRemoteServiceManager::get_SearchRequest(std::shared_ptr<IP2PSearchRequest>* request) {
  if (request == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_SearchRequest();
    *request = client_.Wrap<IP2PSearchRequest>(path);
    return hr;
  });
}

HRESULT CRemoteServiceManager::get_SearchResultFileList(std::shared_ptr<IP2PSearchResultFileList>* list) {
  if (list == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_SearchResultFileList();
    *list = client_.Wrap<IP2PSearchResultFileList>(path);
    return hr;
  });
}

HRESULT CRemoteServiceManager::AddDownload(const std::string* hash, int32_t size, const OptionalText& folder, const OptionalText& name) {
  if (hash == nullptr) return E_INVALIDARG;
  return Call([&] { return glue_->AddDownload(*hash, size, VariantOf(folder), VariantOf(name)); });
}

CRemoteServiceManager::CRemoteServiceManager(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CServiceManagerGlue>(client.Connection(), client.Destination(), path)) {}

CRemoteServiceManager::~CRemoteServiceManager() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteConfig::get_UserName(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_UserName();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteConfig::put_UserName(const std::string& value) {
  return Call([&] { return glue_->put_UserName(value); });
}

HRESULT CRemoteConfig::get_TCPPort(int16_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_TCPPort();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteConfig::put_TCPPort(int16_t value) {
  return Call([&] { return glue_->put_TCPPort(value); });
}

HRESULT CRemoteConfig::get_UDPPort(int16_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_UDPPort();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteConfig::put_UDPPort(int16_t value) {
  return Call([&] { return glue_->put_UDPPort(value); });
}

HRESULT CRemoteConfig::get_ConfigPath(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_ConfigPath();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteConfig::get_TempPath(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_TempPath();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteConfig::get_SharedPath(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_SharedPath();
    *value = result;
    return hr;
  });
}

CRemoteConfig::CRemoteConfig(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CConfigGlue>(client.Connection(), client.Destination(), path)) {}

CRemoteConfig::~CRemoteConfig() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteServerList::get_Item(int32_t index, std::shared_ptr<IP2PServer>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_Item(index);
    *item = client_.Wrap<IP2PServer>(path);
    return hr;
  });
}

HRESULT CRemoteServerList::get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) {
  if (enumerator != nullptr) enumerator->reset();
  return Call([&] { return std::get<0>(glue_->get__NewEnum()); });
}

HRESULT CRemoteServerList::get_Count(int32_t* count) {
  if (count == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Count();
    *count = result;
    return hr;
  });
}

HRESULT CRemoteServerList::get_ItemByKey(int32_t key, std::shared_ptr<IP2PServer>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_ItemByKey(key);
    *item = client_.Wrap<IP2PServer>(path);
    return hr;
  });
}

HRESULT CRemoteServerList::Advise(std::shared_ptr<_IP2PServerListEvents> sink, uint32_t* cookie) {
  return sinks_.Advise(std::move(sink), cookie, [&] {
    return Call([&] {
      const auto [hr, remote] = glue_->Advise();
      remoteCookie_ = remote;
      return hr;
    });
  });
}

HRESULT CRemoteServerList::Unadvise(uint32_t cookie) {
  return sinks_.Unadvise(cookie, [&] { return Call([&] { return glue_->Unadvise(remoteCookie_); }); });
}

CRemoteServerList::CRemoteServerList(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CServerListGlue>(client.Connection(), client.Destination(), path, sinks_)) {}

CRemoteServerList::~CRemoteServerList() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteServer::get_Key(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Key();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_IP(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_IP();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_Port(int16_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Port();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_Name(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Name();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_Description(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Description();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_Users(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Users();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_MaxUsers(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_MaxUsers();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_Files(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Files();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_SoftFiles(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_SoftFiles();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_HardFiles(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_HardFiles();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::get_Ping(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Ping();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteServer::Reserved(const OptionalText& value) {
  return Call([&] { return glue_->Reserved(VariantOf(value)); });
}

CRemoteServer::CRemoteServer(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CServerGlue>(client.Connection(), client.Destination(), path)) {}

CRemoteServer::~CRemoteServer() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteDownloadFileList::get_Item(int32_t index, std::shared_ptr<IP2PDownloadFile>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_Item(index);
    *item = client_.Wrap<IP2PDownloadFile>(path);
    return hr;
  });
}

HRESULT CRemoteDownloadFileList::get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) {
  if (enumerator != nullptr) enumerator->reset();
  return Call([&] { return std::get<0>(glue_->get__NewEnum()); });
}

HRESULT CRemoteDownloadFileList::get_Count(int32_t* count) {
  if (count == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Count();
    *count = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFileList::get_ItemByKey(int32_t key, std::shared_ptr<IP2PDownloadFile>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_ItemByKey(key);
    *item = client_.Wrap<IP2PDownloadFile>(path);
    return hr;
  });
}

HRESULT CRemoteDownloadFileList::Add(const OptionalText& item) {
  return Call([&] { return glue_->Add(VariantOf(item)); });
}

HRESULT CRemoteDownloadFileList::Remove(const OptionalText& item) {
  return Call([&] { return glue_->Remove(VariantOf(item)); });
}

HRESULT CRemoteDownloadFileList::Advise(std::shared_ptr<_IP2PFileListEvents> sink, uint32_t* cookie) {
  return sinks_.Advise(std::move(sink), cookie, [&] {
    return Call([&] {
      const auto [hr, remote] = glue_->Advise();
      remoteCookie_ = remote;
      return hr;
    });
  });
}

HRESULT CRemoteDownloadFileList::Unadvise(uint32_t cookie) {
  return sinks_.Unadvise(cookie, [&] { return Call([&] { return glue_->Unadvise(remoteCookie_); }); });
}

CRemoteDownloadFileList::CRemoteDownloadFileList(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CDownloadFileListGlue>(client.Connection(), client.Destination(), path, sinks_)) {}

CRemoteDownloadFileList::~CRemoteDownloadFileList() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteDownloadFile::get_Key(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Key();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_FullPathName(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_FullPathName();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Hash(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Hash();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Name(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Name();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::Rename(const std::string* name) {
  if (name == nullptr) return E_INVALIDARG;
  return Call([&] { return glue_->Rename(*name); });
}

HRESULT CRemoteDownloadFile::get_AlternativeNames(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_AlternativeNames();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Size(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Size();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_TypeName(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_TypeName();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_CreationTime(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_CreationTime();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_LastWriteTime(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_LastWriteTime();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Nodes(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Nodes();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_CompletedSize(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_CompletedSize();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_CompleteNodes(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_CompleteNodes();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Duration(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Duration();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Bitrate(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Bitrate();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Album(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Album();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Artist(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Artist();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Title(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Title();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Codec(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Codec();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_ReceivedSize(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_ReceivedSize();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_Speed(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Speed();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_IsPaused(int16_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_IsPaused();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::get_IsStopped(int16_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_IsStopped();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteDownloadFile::Pause() {
  return Call([&] { return glue_->Pause(); });
}

HRESULT CRemoteDownloadFile::Stop() {
  return Call([&] { return glue_->Stop(); });
}

HRESULT CRemoteDownloadFile::Resume() {
  return Call([&] { return glue_->Resume(); });
}

HRESULT CRemoteDownloadFile::Cancel() {
  return Call([&] { return glue_->Cancel(); });
}

CRemoteDownloadFile::CRemoteDownloadFile(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CDownloadFileGlue>(client.Connection(), client.Destination(), path)) {}

CRemoteDownloadFile::~CRemoteDownloadFile() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteSharedFileList::get_Item(int32_t index, std::shared_ptr<IP2PSharedFile>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_Item(index);
    *item = client_.Wrap<IP2PSharedFile>(path);
    return hr;
  });
}

HRESULT CRemoteSharedFileList::get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) {
  if (enumerator != nullptr) enumerator->reset();
  return Call([&] { return std::get<0>(glue_->get__NewEnum()); });
}

HRESULT CRemoteSharedFileList::get_Count(int32_t* count) {
  if (count == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Count();
    *count = result;
    return hr;
  });
}

HRESULT CRemoteSharedFileList::get_ItemByKey(int32_t key, std::shared_ptr<IP2PSharedFile>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_ItemByKey(key);
    *item = client_.Wrap<IP2PSharedFile>(path);
    return hr;
  });
}

HRESULT CRemoteSharedFileList::Add(const OptionalText& item) {
  return Call([&] { return glue_->Add(VariantOf(item)); });
}

HRESULT CRemoteSharedFileList::Remove(const OptionalText& item) {
  return Call([&] { return glue_->Remove(VariantOf(item)); });
}

HRESULT CRemoteSharedFileList::Advise(std::shared_ptr<_IP2PFileListEvents> sink, uint32_t* cookie) {
  return sinks_.Advise(std::move(sink), cookie, [&] {
    return Call([&] {
      const auto [hr, remote] = glue_->Advise();
      remoteCookie_ = remote;
      return hr;
    });
  });
}

HRESULT CRemoteSharedFileList::Unadvise(uint32_t cookie) {
  return sinks_.Unadvise(cookie, [&] { return Call([&] { return glue_->Unadvise(remoteCookie_); }); });
}

CRemoteSharedFileList::CRemoteSharedFileList(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CSharedFileListGlue>(client.Connection(), client.Destination(), path, sinks_)) {}

CRemoteSharedFileList::~CRemoteSharedFileList() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteSharedFile::get_Key(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Key();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSharedFile::get_FullPathName(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_FullPathName();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSharedFile::get_Hash(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Hash();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSharedFile::get_Name(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Name();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSharedFile::Rename(const std::string* name) {
  if (name == nullptr) return E_INVALIDARG;
  return Call([&] { return glue_->Rename(*name); });
}

HRESULT CRemoteSharedFile::get_Size(int32_t* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_Size();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSharedFile::get_TypeName(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_TypeName();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSharedFile::get_CreationTime(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_CreationTime();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSharedFile::get_LastWriteTime(std::string* value) {
  if (value == nullptr) return E_INVALIDARG;
  return Call([&] {
    const auto [hr, result] = glue_->get_LastWriteTime();
    *value = result;
    return hr;
  });
}

CRemoteSharedFile::CRemoteSharedFile(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CSharedFileGlue>(client.Connection(), client.Destination(), path)) {}

CRemoteSharedFile::~CRemoteSharedFile() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteSearchResultFileList::get_Item(int32_t index, std::shared_ptr<IP2PSearchResultFile>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_Item(index);
    *item = client_.Wrap<IP2PSearchResultFile>(path);
    return hr;
  });
}

HRESULT CRemoteSearchResultFileList::get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) {
  if (enumerator != nullptr) enumerator->reset();
  return Call([&] { return std::get<0>(glue_->get__NewEnum()); });
}

HRESULT CRemoteSearchResultFileList::get_Count(int32_t* count) {
  if (count == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Count();
    *count = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFileList::get_ItemByKey(int32_t key, std::shared_ptr<IP2PSearchResultFile>* item) {
  if (item == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, path] = glue_->get_ItemByKey(key);
    *item = client_.Wrap<IP2PSearchResultFile>(path);
    return hr;
  });
}

HRESULT CRemoteSearchResultFileList::Download(int32_t key, const OptionalText& folder, const OptionalText& name) {
  return Call([&] { return glue_->Download(key, VariantOf(folder), VariantOf(name)); });
}

HRESULT CRemoteSearchResultFileList::Advise(std::shared_ptr<_IP2PSearchResultFileListEvents> sink, uint32_t* cookie) {
  return sinks_.Advise(std::move(sink), cookie, [&] {
    return Call([&] {
      const auto [hr, remote] = glue_->Advise();
      remoteCookie_ = remote;
      return hr;
    });
  });
}

HRESULT CRemoteSearchResultFileList::Unadvise(uint32_t cookie) {
  return sinks_.Unadvise(cookie, [&] { return Call([&] { return glue_->Unadvise(remoteCookie_); }); });
}

CRemoteSearchResultFileList::CRemoteSearchResultFileList(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CSearchResultFileListGlue>(client.Connection(), client.Destination(), path, sinks_)) {}

CRemoteSearchResultFileList::~CRemoteSearchResultFileList() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteSearchResultFile::get_Key(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Key();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Hash(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Hash();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Name(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Name();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_AlternativeNames(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_AlternativeNames();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Size(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Size();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Format(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Format();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Tag5Value(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Tag5Value();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Nodes(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Nodes();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_CompleteNodes(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_CompleteNodes();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_TypeName(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_TypeName();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Duration(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Duration();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Bitrate(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Bitrate();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Album(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Album();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Artist(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Artist();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Title(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Title();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchResultFile::get_Codec(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Codec();
    *value = result;
    return hr;
  });
}

CRemoteSearchResultFile::CRemoteSearchResultFile(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CSearchResultFileGlue>(client.Connection(), client.Destination(), path)) {}

CRemoteSearchResultFile::~CRemoteSearchResultFile() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

HRESULT CRemoteSearchRequest::get_Keyword(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Keyword();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_Keyword(const std::string& value) {
  return Call([&] { return glue_->put_Keyword(value); });
}

HRESULT CRemoteSearchRequest::get_FileType(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_FileType();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_FileType(const std::string& value) {
  return Call([&] { return glue_->put_FileType(value); });
}

HRESULT CRemoteSearchRequest::get_Extension(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Extension();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_Extension(const std::string& value) {
  return Call([&] { return glue_->put_Extension(value); });
}

HRESULT CRemoteSearchRequest::get_MinSize(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_MinSize();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_MinSize(int32_t value) {
  return Call([&] { return glue_->put_MinSize(value); });
}

HRESULT CRemoteSearchRequest::get_MaxSize(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_MaxSize();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_MaxSize(int32_t value) {
  return Call([&] { return glue_->put_MaxSize(value); });
}

HRESULT CRemoteSearchRequest::get_Availability(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Availability();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_Availability(int32_t value) {
  return Call([&] { return glue_->put_Availability(value); });
}

HRESULT CRemoteSearchRequest::get_CompleteSources(int16_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_CompleteSources();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_CompleteSources(int16_t value) {
  return Call([&] { return glue_->put_CompleteSources(value); });
}

HRESULT CRemoteSearchRequest::get_MinBitrate(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_MinBitrate();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_MinBitrate(int32_t value) {
  return Call([&] { return glue_->put_MinBitrate(value); });
}

HRESULT CRemoteSearchRequest::get_MinLength(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_MinLength();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_MinLength(int32_t value) {
  return Call([&] { return glue_->put_MinLength(value); });
}

HRESULT CRemoteSearchRequest::get_Codec(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Codec();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_Codec(const std::string& value) {
  return Call([&] { return glue_->put_Codec(value); });
}

HRESULT CRemoteSearchRequest::get_Title(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Title();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_Title(const std::string& value) {
  return Call([&] { return glue_->put_Title(value); });
}

HRESULT CRemoteSearchRequest::get_Album(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Album();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_Album(const std::string& value) {
  return Call([&] { return glue_->put_Album(value); });
}

HRESULT CRemoteSearchRequest::get_Artist(std::string* value) {
  if (value == nullptr) return E_POINTER;
  return Call([&] {
    const auto [hr, result] = glue_->get_Artist();
    *value = result;
    return hr;
  });
}

HRESULT CRemoteSearchRequest::put_Artist(const std::string& value) {
  return Call([&] { return glue_->put_Artist(value); });
}

HRESULT CRemoteSearchRequest::Search() {
  return Call([&] { return glue_->Search(); });
}

HRESULT CRemoteSearchRequest::Advise(std::shared_ptr<_IP2PSearchRequestEvents> sink, uint32_t* cookie) {
  return sinks_.Advise(std::move(sink), cookie, [&] {
    return Call([&] {
      const auto [hr, remote] = glue_->Advise();
      remoteCookie_ = remote;
      return hr;
    });
  });
}

HRESULT CRemoteSearchRequest::Unadvise(uint32_t cookie) {
  return sinks_.Unadvise(cookie, [&] { return Call([&] { return glue_->Unadvise(remoteCookie_); }); });
}

CRemoteSearchRequest::CRemoteSearchRequest(CApiClient& client, const sdbus::ObjectPath& path)
    : client_(client), glue_(std::make_unique<CSearchRequestGlue>(client.Connection(), client.Destination(), path, sinks_)) {}

CRemoteSearchRequest::~CRemoteSearchRequest() {
  try {
    glue_->Release();
  } catch (const sdbus::Error&) {
    // The service is gone; so is the object.
  }
}

}  // namespace OSTREL::COM
