#include "service/dbus/ExportedObjects.h"

namespace OSTREL::COM {

std::tuple<int32_t, sdbus::ObjectPath> CExportedServiceManager::get_ServerList() {
  Bus().Touch(Caller());
  std::shared_ptr<IP2PServerList> object;
  const HRESULT hr = impl_->get_ServerList(&object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServiceManager::get_SharedFileList() {
  Bus().Touch(Caller());
  std::shared_ptr<IP2PSharedFileList> object;
  const HRESULT hr = impl_->get_SharedFileList(&object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServiceManager::get_DownloadFileList() {
  Bus().Touch(Caller());
  std::shared_ptr<IP2PDownloadFileList> object;
  const HRESULT hr = impl_->get_DownloadFileList(&object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServiceManager::get_Config() {
  Bus().Touch(Caller());
  std::shared_ptr<IP2PConfig> object;
  const HRESULT hr = impl_->get_Config(&object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServiceManager::get_SearchRequest() {
  Bus().Touch(Caller());
  std::shared_ptr<IP2PSearchRequest> object;
  const HRESULT hr = impl_->get_SearchRequest(&object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServiceManager::get_SearchResultFileList() {
  Bus().Touch(Caller());
  std::shared_ptr<IP2PSearchResultFileList> object;
  const HRESULT hr = impl_->get_SearchResultFileList(&object);
  return Bus().Export(hr, Caller(), object);
}

int32_t CExportedServiceManager::AddDownload(const std::string& hash, const int32_t& size, const sdbus::Variant& folder, const sdbus::Variant& name) {
  Bus().Touch(Caller());
  return impl_->AddDownload(&hash, size, TextOf(folder), TextOf(name));
}

std::tuple<int32_t, bool, std::string, std::string, uint32_t, bool, uint32_t, uint32_t>
CExportedServiceManager::GetConnectionState() {
  Bus().Touch(Caller());
  SConnectionState state;
  const HRESULT hr = serverConnection_->GetConnectionState(&state);
  return {hr, state.connected, state.address, state.name, state.clientId, state.lowId,
          state.users, state.files};
}

int32_t CExportedServiceManager::AddServer(const std::string& address) {
  Bus().Touch(Caller());
  return serverConnection_->AddServer(address);
}

int32_t CExportedServiceManager::RemoveServer(const std::string& address) {
  Bus().Touch(Caller());
  return serverConnection_->RemoveServer(address);
}

int32_t CExportedServiceManager::ConnectServer(const std::string& address) {
  Bus().Touch(Caller());
  return serverConnection_->ConnectServer(address);
}

std::tuple<int32_t, uint64_t, uint64_t, uint64_t, uint64_t>
CExportedServiceManager::GetTransferTotals() {
  Bus().Touch(Caller());
  STransferTotals totals;
  const HRESULT hr = serverConnection_->GetTransferTotals(&totals);
  return {hr, totals.uploaded, totals.downloaded, totals.uploadRate, totals.downloadRate};
}

std::tuple<int32_t, std::vector<sdbus::Struct<std::string, std::string, std::string, std::string,
                                              bool, uint32_t, uint32_t, uint64_t, double>>>
CExportedServiceManager::GetUploadQueue() {
  Bus().Touch(Caller());
  std::vector<SUploadQueueEntry> entries;
  const HRESULT hr = serverConnection_->GetUploadQueue(&entries);
  std::vector<sdbus::Struct<std::string, std::string, std::string, std::string, bool, uint32_t,
                            uint32_t, uint64_t, double>>
      wire;
  wire.reserve(entries.size());
  for (const SUploadQueueEntry& e : entries)
    wire.emplace_back(e.userHash, e.address, e.fileHash, e.fileName, e.uploading, e.rank,
                      e.seconds, e.sentBytes, e.creditModifier);
  return {hr, std::move(wire)};
}

std::tuple<int32_t, std::string> CExportedConfig::get_UserName() {
  return Get(&IP2PConfig::get_UserName);
}

int32_t CExportedConfig::put_UserName(const std::string& value) {
  return impl_->put_UserName(value);
}

std::tuple<int32_t, int16_t> CExportedConfig::get_TCPPort() {
  return Get(&IP2PConfig::get_TCPPort);
}

int32_t CExportedConfig::put_TCPPort(const int16_t& value) {
  return impl_->put_TCPPort(value);
}

std::tuple<int32_t, int16_t> CExportedConfig::get_UDPPort() {
  return Get(&IP2PConfig::get_UDPPort);
}

int32_t CExportedConfig::put_UDPPort(const int16_t& value) {
  return impl_->put_UDPPort(value);
}

std::tuple<int32_t, std::string> CExportedConfig::get_ConfigPath() {
  return Get(&IP2PConfig::get_ConfigPath);
}

std::tuple<int32_t, std::string> CExportedConfig::get_TempPath() {
  return Get(&IP2PConfig::get_TempPath);
}

std::tuple<int32_t, std::string> CExportedConfig::get_SharedPath() {
  return Get(&IP2PConfig::get_SharedPath);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServerList::get_Item(const int32_t& index) {
  std::shared_ptr<IP2PServer> object;
  const HRESULT hr = impl_->get_Item(index, &object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServerList::get__NewEnum() {
  return {E_NOTIMPL, kNoObject};
}

std::tuple<int32_t, int32_t> CExportedServerList::get_Count() {
  return Get(&IP2PServerList::get_Count);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedServerList::get_ItemByKey(const int32_t& key) {
  std::shared_ptr<IP2PServer> object;
  const HRESULT hr = impl_->get_ItemByKey(key, &object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, uint32_t> CExportedServerList::Advise() {
  auto sink = std::make_shared<CServerListSignals<CExportedServerList>>(WeakSelf<CExportedServerList>());
  uint32_t cookie = 0;
  const HRESULT hr = impl_->Advise(std::move(sink), &cookie);
  return {hr, cookie};
}

std::tuple<int32_t, int32_t> CExportedServer::get_Key() {
  return Get(&IP2PServer::get_Key);
}

std::tuple<int32_t, int32_t> CExportedServer::get_IP() {
  return Get(&IP2PServer::get_IP);
}

std::tuple<int32_t, int16_t> CExportedServer::get_Port() {
  return Get(&IP2PServer::get_Port);
}

std::tuple<int32_t, std::string> CExportedServer::get_Name() {
  return Get(&IP2PServer::get_Name);
}

std::tuple<int32_t, std::string> CExportedServer::get_Description() {
  return Get(&IP2PServer::get_Description);
}

std::tuple<int32_t, int32_t> CExportedServer::get_Users() {
  return Get(&IP2PServer::get_Users);
}

std::tuple<int32_t, int32_t> CExportedServer::get_MaxUsers() {
  return Get(&IP2PServer::get_MaxUsers);
}

std::tuple<int32_t, int32_t> CExportedServer::get_Files() {
  return Get(&IP2PServer::get_Files);
}

std::tuple<int32_t, int32_t> CExportedServer::get_SoftFiles() {
  return Get(&IP2PServer::get_SoftFiles);
}

std::tuple<int32_t, int32_t> CExportedServer::get_HardFiles() {
  return Get(&IP2PServer::get_HardFiles);
}

std::tuple<int32_t, int32_t> CExportedServer::get_Ping() {
  return Get(&IP2PServer::get_Ping);
}

int32_t CExportedServer::Reserved(const sdbus::Variant& value) {
  return impl_->Reserved(TextOf(value));
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedDownloadFileList::get_Item(const int32_t& index) {
  std::shared_ptr<IP2PDownloadFile> object;
  const HRESULT hr = impl_->get_Item(index, &object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedDownloadFileList::get__NewEnum() {
  return {E_NOTIMPL, kNoObject};
}

std::tuple<int32_t, int32_t> CExportedDownloadFileList::get_Count() {
  return Get(&IP2PDownloadFileList::get_Count);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedDownloadFileList::get_ItemByKey(const int32_t& key) {
  std::shared_ptr<IP2PDownloadFile> object;
  const HRESULT hr = impl_->get_ItemByKey(key, &object);
  return Bus().Export(hr, Caller(), object);
}

int32_t CExportedDownloadFileList::Add(const sdbus::Variant& item) {
  return impl_->Add(TextOf(item));
}

int32_t CExportedDownloadFileList::Remove(const sdbus::Variant& item) {
  return impl_->Remove(TextOf(item));
}

std::tuple<int32_t, uint32_t> CExportedDownloadFileList::Advise() {
  auto sink = std::make_shared<CFileListSignals<CExportedDownloadFileList>>(WeakSelf<CExportedDownloadFileList>());
  uint32_t cookie = 0;
  const HRESULT hr = impl_->Advise(std::move(sink), &cookie);
  return {hr, cookie};
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_Key() {
  return Get(&IP2PDownloadFile::get_Key);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_FullPathName() {
  return Get(&IP2PDownloadFile::get_FullPathName);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_Hash() {
  return Get(&IP2PDownloadFile::get_Hash);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_Name() {
  return Get(&IP2PDownloadFile::get_Name);
}

int32_t CExportedDownloadFile::Rename(const std::string& name) {
  return impl_->Rename(&name);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_AlternativeNames() {
  return Get(&IP2PDownloadFile::get_AlternativeNames);
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_Size() {
  return Get(&IP2PDownloadFile::get_Size);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_TypeName() {
  return Get(&IP2PDownloadFile::get_TypeName);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_CreationTime() {
  return Get(&IP2PDownloadFile::get_CreationTime);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_LastWriteTime() {
  return Get(&IP2PDownloadFile::get_LastWriteTime);
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_Nodes() {
  return Get(&IP2PDownloadFile::get_Nodes);
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_CompletedSize() {
  return Get(&IP2PDownloadFile::get_CompletedSize);
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_CompleteNodes() {
  return Get(&IP2PDownloadFile::get_CompleteNodes);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_Duration() {
  return Get(&IP2PDownloadFile::get_Duration);
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_Bitrate() {
  return Get(&IP2PDownloadFile::get_Bitrate);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_Album() {
  return Get(&IP2PDownloadFile::get_Album);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_Artist() {
  return Get(&IP2PDownloadFile::get_Artist);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_Title() {
  return Get(&IP2PDownloadFile::get_Title);
}

std::tuple<int32_t, std::string> CExportedDownloadFile::get_Codec() {
  return Get(&IP2PDownloadFile::get_Codec);
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_ReceivedSize() {
  return Get(&IP2PDownloadFile::get_ReceivedSize);
}

std::tuple<int32_t, int32_t> CExportedDownloadFile::get_Speed() {
  return Get(&IP2PDownloadFile::get_Speed);
}

std::tuple<int32_t, int16_t> CExportedDownloadFile::get_IsPaused() {
  return Get(&IP2PDownloadFile::get_IsPaused);
}

std::tuple<int32_t, int16_t> CExportedDownloadFile::get_IsStopped() {
  return Get(&IP2PDownloadFile::get_IsStopped);
}

int32_t CExportedDownloadFile::Pause() {
  return impl_->Pause();
}

int32_t CExportedDownloadFile::Stop() {
  return impl_->Stop();
}

int32_t CExportedDownloadFile::Resume() {
  return impl_->Resume();
}

int32_t CExportedDownloadFile::Cancel() {
  return impl_->Cancel();
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedSharedFileList::get_Item(const int32_t& index) {
  std::shared_ptr<IP2PSharedFile> object;
  const HRESULT hr = impl_->get_Item(index, &object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedSharedFileList::get__NewEnum() {
  return {E_NOTIMPL, kNoObject};
}

std::tuple<int32_t, int32_t> CExportedSharedFileList::get_Count() {
  return Get(&IP2PSharedFileList::get_Count);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedSharedFileList::get_ItemByKey(const int32_t& key) {
  std::shared_ptr<IP2PSharedFile> object;
  const HRESULT hr = impl_->get_ItemByKey(key, &object);
  return Bus().Export(hr, Caller(), object);
}

int32_t CExportedSharedFileList::Add(const sdbus::Variant& item) {
  return impl_->Add(TextOf(item));
}

int32_t CExportedSharedFileList::Remove(const sdbus::Variant& item) {
  return impl_->Remove(TextOf(item));
}

std::tuple<int32_t, uint32_t> CExportedSharedFileList::Advise() {
  auto sink = std::make_shared<CFileListSignals<CExportedSharedFileList>>(WeakSelf<CExportedSharedFileList>());
  uint32_t cookie = 0;
  const HRESULT hr = impl_->Advise(std::move(sink), &cookie);
  return {hr, cookie};
}

std::tuple<int32_t, int32_t> CExportedSharedFile::get_Key() {
  return Get(&IP2PSharedFile::get_Key);
}

std::tuple<int32_t, std::string> CExportedSharedFile::get_FullPathName() {
  return Get(&IP2PSharedFile::get_FullPathName);
}

std::tuple<int32_t, std::string> CExportedSharedFile::get_Hash() {
  return Get(&IP2PSharedFile::get_Hash);
}

std::tuple<int32_t, std::string> CExportedSharedFile::get_Name() {
  return Get(&IP2PSharedFile::get_Name);
}

int32_t CExportedSharedFile::Rename(const std::string& name) {
  return impl_->Rename(&name);
}

std::tuple<int32_t, int32_t> CExportedSharedFile::get_Size() {
  return Get(&IP2PSharedFile::get_Size);
}

std::tuple<int32_t, std::string> CExportedSharedFile::get_TypeName() {
  return Get(&IP2PSharedFile::get_TypeName);
}

std::tuple<int32_t, std::string> CExportedSharedFile::get_CreationTime() {
  return Get(&IP2PSharedFile::get_CreationTime);
}

std::tuple<int32_t, std::string> CExportedSharedFile::get_LastWriteTime() {
  return Get(&IP2PSharedFile::get_LastWriteTime);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedSearchResultFileList::get_Item(const int32_t& index) {
  std::shared_ptr<IP2PSearchResultFile> object;
  const HRESULT hr = impl_->get_Item(index, &object);
  return Bus().Export(hr, Caller(), object);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedSearchResultFileList::get__NewEnum() {
  return {E_NOTIMPL, kNoObject};
}

std::tuple<int32_t, int32_t> CExportedSearchResultFileList::get_Count() {
  return Get(&IP2PSearchResultFileList::get_Count);
}

std::tuple<int32_t, sdbus::ObjectPath> CExportedSearchResultFileList::get_ItemByKey(const int32_t& key) {
  std::shared_ptr<IP2PSearchResultFile> object;
  const HRESULT hr = impl_->get_ItemByKey(key, &object);
  return Bus().Export(hr, Caller(), object);
}

int32_t CExportedSearchResultFileList::Download(const int32_t& key, const sdbus::Variant& folder, const sdbus::Variant& name) {
  return impl_->Download(key, TextOf(folder), TextOf(name));
}

std::tuple<int32_t, uint32_t> CExportedSearchResultFileList::Advise() {
  auto sink = std::make_shared<CResultListSignals<CExportedSearchResultFileList>>(WeakSelf<CExportedSearchResultFileList>());
  uint32_t cookie = 0;
  const HRESULT hr = impl_->Advise(std::move(sink), &cookie);
  return {hr, cookie};
}

std::tuple<int32_t, int32_t> CExportedSearchResultFile::get_Key() {
  return Get(&IP2PSearchResultFile::get_Key);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Hash() {
  return Get(&IP2PSearchResultFile::get_Hash);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Name() {
  return Get(&IP2PSearchResultFile::get_Name);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_AlternativeNames() {
  return Get(&IP2PSearchResultFile::get_AlternativeNames);
}

std::tuple<int32_t, int32_t> CExportedSearchResultFile::get_Size() {
  return Get(&IP2PSearchResultFile::get_Size);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Format() {
  return Get(&IP2PSearchResultFile::get_Format);
}

std::tuple<int32_t, int32_t> CExportedSearchResultFile::get_Tag5Value() {
  return Get(&IP2PSearchResultFile::get_Tag5Value);
}

std::tuple<int32_t, int32_t> CExportedSearchResultFile::get_Nodes() {
  return Get(&IP2PSearchResultFile::get_Nodes);
}

std::tuple<int32_t, int32_t> CExportedSearchResultFile::get_CompleteNodes() {
  return Get(&IP2PSearchResultFile::get_CompleteNodes);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_TypeName() {
  return Get(&IP2PSearchResultFile::get_TypeName);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Duration() {
  return Get(&IP2PSearchResultFile::get_Duration);
}

std::tuple<int32_t, int32_t> CExportedSearchResultFile::get_Bitrate() {
  return Get(&IP2PSearchResultFile::get_Bitrate);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Album() {
  return Get(&IP2PSearchResultFile::get_Album);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Artist() {
  return Get(&IP2PSearchResultFile::get_Artist);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Title() {
  return Get(&IP2PSearchResultFile::get_Title);
}

std::tuple<int32_t, std::string> CExportedSearchResultFile::get_Codec() {
  return Get(&IP2PSearchResultFile::get_Codec);
}

std::tuple<int32_t, std::string> CExportedSearchRequest::get_Keyword() {
  return Get(&IP2PSearchRequest::get_Keyword);
}

int32_t CExportedSearchRequest::put_Keyword(const std::string& value) {
  return impl_->put_Keyword(value);
}

std::tuple<int32_t, std::string> CExportedSearchRequest::get_FileType() {
  return Get(&IP2PSearchRequest::get_FileType);
}

int32_t CExportedSearchRequest::put_FileType(const std::string& value) {
  return impl_->put_FileType(value);
}

std::tuple<int32_t, std::string> CExportedSearchRequest::get_Extension() {
  return Get(&IP2PSearchRequest::get_Extension);
}

int32_t CExportedSearchRequest::put_Extension(const std::string& value) {
  return impl_->put_Extension(value);
}

std::tuple<int32_t, int32_t> CExportedSearchRequest::get_MinSize() {
  return Get(&IP2PSearchRequest::get_MinSize);
}

int32_t CExportedSearchRequest::put_MinSize(const int32_t& value) {
  return impl_->put_MinSize(value);
}

std::tuple<int32_t, int32_t> CExportedSearchRequest::get_MaxSize() {
  return Get(&IP2PSearchRequest::get_MaxSize);
}

int32_t CExportedSearchRequest::put_MaxSize(const int32_t& value) {
  return impl_->put_MaxSize(value);
}

std::tuple<int32_t, int32_t> CExportedSearchRequest::get_Availability() {
  return Get(&IP2PSearchRequest::get_Availability);
}

int32_t CExportedSearchRequest::put_Availability(const int32_t& value) {
  return impl_->put_Availability(value);
}

std::tuple<int32_t, int16_t> CExportedSearchRequest::get_CompleteSources() {
  return Get(&IP2PSearchRequest::get_CompleteSources);
}

int32_t CExportedSearchRequest::put_CompleteSources(const int16_t& value) {
  return impl_->put_CompleteSources(value);
}

std::tuple<int32_t, int32_t> CExportedSearchRequest::get_MinBitrate() {
  return Get(&IP2PSearchRequest::get_MinBitrate);
}

int32_t CExportedSearchRequest::put_MinBitrate(const int32_t& value) {
  return impl_->put_MinBitrate(value);
}

std::tuple<int32_t, int32_t> CExportedSearchRequest::get_MinLength() {
  return Get(&IP2PSearchRequest::get_MinLength);
}

int32_t CExportedSearchRequest::put_MinLength(const int32_t& value) {
  return impl_->put_MinLength(value);
}

std::tuple<int32_t, std::string> CExportedSearchRequest::get_Codec() {
  return Get(&IP2PSearchRequest::get_Codec);
}

int32_t CExportedSearchRequest::put_Codec(const std::string& value) {
  return impl_->put_Codec(value);
}

std::tuple<int32_t, std::string> CExportedSearchRequest::get_Title() {
  return Get(&IP2PSearchRequest::get_Title);
}

int32_t CExportedSearchRequest::put_Title(const std::string& value) {
  return impl_->put_Title(value);
}

std::tuple<int32_t, std::string> CExportedSearchRequest::get_Album() {
  return Get(&IP2PSearchRequest::get_Album);
}

int32_t CExportedSearchRequest::put_Album(const std::string& value) {
  return impl_->put_Album(value);
}

std::tuple<int32_t, std::string> CExportedSearchRequest::get_Artist() {
  return Get(&IP2PSearchRequest::get_Artist);
}

int32_t CExportedSearchRequest::put_Artist(const std::string& value) {
  return impl_->put_Artist(value);
}

int32_t CExportedSearchRequest::Search() {
  return impl_->Search();
}

std::tuple<int32_t, uint32_t> CExportedSearchRequest::Advise() {
  auto sink = std::make_shared<CSearchRequestSignals<CExportedSearchRequest>>(WeakSelf<CExportedSearchRequest>());
  uint32_t cookie = 0;
  const HRESULT hr = impl_->Advise(std::move(sink), &cookie);
  return {hr, cookie};
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PConfig> object) {
  return std::make_shared<CExportedConfig>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PServerList> object) {
  return std::make_shared<CExportedServerList>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PServer> object) {
  return std::make_shared<CExportedServer>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PDownloadFileList> object) {
  return std::make_shared<CExportedDownloadFileList>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PDownloadFile> object) {
  return std::make_shared<CExportedDownloadFile>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSharedFileList> object) {
  return std::make_shared<CExportedSharedFileList>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSharedFile> object) {
  return std::make_shared<CExportedSharedFile>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSearchResultFileList> object) {
  return std::make_shared<CExportedSearchResultFileList>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSearchResultFile> object) {
  return std::make_shared<CExportedSearchResultFile>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

std::shared_ptr<CExportedObject> MakeExported(CApiBus& bus, uint64_t id, std::string owner,
                                               sdbus::IConnection& connection, std::string path,
                                               std::shared_ptr<IP2PSearchRequest> object) {
  return std::make_shared<CExportedSearchRequest>(bus, id, std::move(owner), connection, std::move(path),
                                      std::move(object));
}

}  // namespace OSTREL::COM
