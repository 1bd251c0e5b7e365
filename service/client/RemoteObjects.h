// The remote objects of the automation API: each implements its C++ interface by calling the
// generated proxy of its D-Bus object, wraps the object paths it receives into further remote
// objects, and releases its object in the service when it is destroyed. The thread rule of
// CApiClient applies.
#pragma once

#include <memory>
#include <string>

#include "engine/protocol/Limits.h"
#include "service/client/RemoteObject.h"
#include "service/dbus/WireRows.h"

namespace OSTREL::COM {

using CServiceManagerGlue = CGlueT<TarnSvcBus::IP2PServiceManager_proxy>;

class CRemoteServiceManager final : public CRemoteT<IP2PServiceManager, CServiceManagerGlue> {
 public:
  using CRemoteT::CRemoteT;

  HRESULT get_ServerList(std::shared_ptr<IP2PServerList>* list) override {
    return GetRemote(list, &Glue::get_ServerList);
  }
  HRESULT get_SharedFileList(std::shared_ptr<IP2PSharedFileList>* list) override {
    return GetRemote(list, &Glue::get_SharedFileList);
  }
  HRESULT get_DownloadFileList(std::shared_ptr<IP2PDownloadFileList>* list) override {
    return GetRemote(list, &Glue::get_DownloadFileList);
  }
  HRESULT get_Config(std::shared_ptr<IP2PConfig>* config) override {
    return GetRemote(config, &Glue::get_Config);
  }
  HRESULT get_SearchRequest(std::shared_ptr<IP2PSearchRequest>* request) override {
    return GetRemote(request, &Glue::get_SearchRequest);
  }
  HRESULT get_SearchResultFileList(std::shared_ptr<IP2PSearchResultFileList>* list) override {
    return GetRemote(list, &Glue::get_SearchResultFileList);
  }
  HRESULT AddDownload(const std::string* hash, int32_t size, const OptionalText& folder,
                      const OptionalText& name) override {
    if (hash == nullptr) return E_INVALIDARG;
    return Call(
        [&] { return glue_->AddDownload(*hash, size, VariantOf(folder), VariantOf(name)); });
  }
  // A service without the 64-bit method still takes the sizes its 32-bit slot carries.
  HRESULT AddDownload64(const std::string* hash, uint64_t size, const OptionalText& folder,
                        const OptionalText& name, std::string* reason) override {
    if (hash == nullptr) return E_INVALIDARG;
    if (reason != nullptr) reason->clear();
    const HRESULT hr = Call([&] {
      const auto [result, why] =
          glue_->AddDownload64(*hash, size, VariantOf(folder), VariantOf(name));
      if (reason != nullptr) *reason = why;
      return result;
    });
    if (hr != E_NOTIMPL || size > P2P::Protocol::kMaxSmallFileSize) return hr;
    return AddDownload(hash, static_cast<int32_t>(static_cast<uint32_t>(size)), folder, name);
  }
};

using CConfigGlue = CGlueT<TarnSvcBus::IP2PConfig_proxy>;

class CRemoteConfig final : public CRemoteT<IP2PConfig, CConfigGlue> {
 public:
  using CRemoteT::CRemoteT;

  HRESULT get_UserName(std::string* value) override { return Get(value, &Glue::get_UserName); }
  HRESULT put_UserName(const std::string& value) override {
    return Invoke(&Glue::put_UserName, value);
  }
  HRESULT get_TCPPort(int16_t* value) override { return Get(value, &Glue::get_TCPPort); }
  HRESULT put_TCPPort(int16_t value) override { return Invoke(&Glue::put_TCPPort, value); }
  HRESULT get_UDPPort(int16_t* value) override { return Get(value, &Glue::get_UDPPort); }
  HRESULT put_UDPPort(int16_t value) override { return Invoke(&Glue::put_UDPPort, value); }
  HRESULT get_ConfigPath(std::string* value) override { return Get(value, &Glue::get_ConfigPath); }
  HRESULT get_TempPath(std::string* value) override { return Get(value, &Glue::get_TempPath); }
  HRESULT get_SharedPath(std::string* value) override { return Get(value, &Glue::get_SharedPath); }
};

class CServerListEvents
    : public CEventGlueT<TarnSvcBus::IP2PServerList_proxy, TarnSvcBus::_IP2PServerListEvents_proxy,
                         _IP2PServerListEvents> {
 public:
  using CEventGlueT::CEventGlueT;

 private:
  void onOnServerAdded(const uint32_t& key) override {
    Notify(&_IP2PServerListEvents::OnServerAdded, key);
  }
  void onOnServerChanged(const uint32_t& key) override {
    Notify(&_IP2PServerListEvents::OnServerChanged, key);
  }
  void onOnServerRemoved(const uint32_t& key) override {
    Notify(&_IP2PServerListEvents::OnServerRemoved, key);
  }
};
using CServerListGlue = CRegisteredGlue<CServerListEvents>;

class CRemoteServerList final
    : public CRemoteListT<IP2PServerList, IP2PServer, CServerListGlue, _IP2PServerListEvents> {
 public:
  using CRemoteListT::CRemoteListT;

  HRESULT GetRows(std::vector<SServerRowData>* rows) override {
    if (rows == nullptr) return E_POINTER;
    rows->clear();
    return Call([&] { return RowsFromWire(glue_->GetRows(), *rows); });
  }
};

using CServerGlue = CGlueT<TarnSvcBus::IP2PServer_proxy>;

class CRemoteServer final : public CRemoteT<IP2PServer, CServerGlue> {
 public:
  using CRemoteT::CRemoteT;

  HRESULT get_Key(int32_t* value) override { return Get(value, &Glue::get_Key); }
  HRESULT get_IP(int32_t* value) override { return Get(value, &Glue::get_IP); }
  HRESULT get_Port(int16_t* value) override { return Get(value, &Glue::get_Port); }
  HRESULT get_Name(std::string* value) override { return Get(value, &Glue::get_Name); }
  HRESULT get_Description(std::string* value) override {
    return Get(value, &Glue::get_Description);
  }
  HRESULT get_Users(int32_t* value) override { return Get(value, &Glue::get_Users); }
  HRESULT get_MaxUsers(int32_t* value) override { return Get(value, &Glue::get_MaxUsers); }
  HRESULT get_Files(int32_t* value) override { return Get(value, &Glue::get_Files); }
  HRESULT get_SoftFiles(int32_t* value) override { return Get(value, &Glue::get_SoftFiles); }
  HRESULT get_HardFiles(int32_t* value) override { return Get(value, &Glue::get_HardFiles); }
  HRESULT get_Ping(int32_t* value) override { return Get(value, &Glue::get_Ping); }
  HRESULT Reserved(const OptionalText& value) override {
    return Call([&] { return glue_->Reserved(VariantOf(value)); });
  }
};

// The download and shared file lists have the same events, the same Add and Remove, and
// records.
template <typename ListProxy, typename EventsProxy, typename RecordsProxy>
class CFileListEventsT
    : public CEventGlueT<ListProxy, EventsProxy, _IP2PFileListEvents, RecordsProxy> {
 public:
  using CEventGlueT<ListProxy, EventsProxy, _IP2PFileListEvents, RecordsProxy>::CEventGlueT;

 private:
  void onOnFileAdded(const uint32_t& key) override {
    this->Notify(&_IP2PFileListEvents::OnFileAdded, key);
  }
  void onOnFileChanged(const uint32_t& key) override {
    this->Notify(&_IP2PFileListEvents::OnFileChanged, key);
  }
  void onOnFileRemoved(const uint32_t& key) override {
    this->Notify(&_IP2PFileListEvents::OnFileRemoved, key);
  }
};

template <typename Interface, typename Item, typename ListProxy, typename EventsProxy,
          typename RecordsProxy, typename Record>
class CRemoteFileListT final
    : public CRemoteRecordsT<
          CRemoteListT<Interface, Item,
                       CRegisteredGlue<CFileListEventsT<ListProxy, EventsProxy, RecordsProxy>>,
                       _IP2PFileListEvents>,
          Record> {
 public:
  using CRemoteRecordsT<
      CRemoteListT<Interface, Item,
                   CRegisteredGlue<CFileListEventsT<ListProxy, EventsProxy, RecordsProxy>>,
                   _IP2PFileListEvents>,
      Record>::CRemoteRecordsT;

  HRESULT Add(const OptionalText& item) override {
    return Call([&] { return this->glue_->Add(VariantOf(item)); });
  }
  HRESULT Remove(const OptionalText& item) override {
    return Call([&] { return this->glue_->Remove(VariantOf(item)); });
  }
  using Row = decltype(RowTypeOf(&Interface::GetRows));
  // The whole rows, or their low 32 bits from a service without GetRows64.
  HRESULT GetRows(std::vector<Row>* rows) override {
    if (rows == nullptr) return E_POINTER;
    rows->clear();
    return CallWide([&] { return RowsFromWire(this->glue_->GetRows64(), *rows); },
                    [&] { return RowsFromWire(this->glue_->GetRows(), *rows); });
  }
};

using CRemoteDownloadFileList =
    CRemoteFileListT<IP2PDownloadFileList, IP2PDownloadFile, TarnSvcBus::IP2PDownloadFileList_proxy,
                     TarnSvcBus::_IP2PDownloadFileListEvents_proxy,
                     TarnSvcBus::DownloadRecords_proxy, SDownloadRecord>;
using CRemoteSharedFileList =
    CRemoteFileListT<IP2PSharedFileList, IP2PSharedFile, TarnSvcBus::IP2PSharedFileList_proxy,
                     TarnSvcBus::_IP2PSharedFileListEvents_proxy,
                     TarnSvcBus::SharedFileRecords_proxy, SSharedFileRecord>;

// What a download file and a shared file both have.
template <typename Interface, typename Proxy>
class CRemoteFileT : public CRemoteT<Interface, CGlueT<Proxy>, E_INVALIDARG> {
 public:
  using CRemoteT<Interface, CGlueT<Proxy>, E_INVALIDARG>::CRemoteT;

  HRESULT get_Key(int32_t* value) override { return this->Get(value, &Proxy::get_Key); }
  HRESULT get_FullPathName(std::string* value) override {
    return this->Get(value, &Proxy::get_FullPathName);
  }
  HRESULT get_Hash(std::string* value) override { return this->Get(value, &Proxy::get_Hash); }
  HRESULT get_Name(std::string* value) override { return this->Get(value, &Proxy::get_Name); }
  HRESULT Rename(const std::string* name) override {
    if (name == nullptr) return E_INVALIDARG;
    return Call([&] { return this->glue_->Rename(*name); });
  }
  HRESULT get_Size(int32_t* value) override { return this->Get(value, &Proxy::get_Size); }
  HRESULT get_TypeName(std::string* value) override {
    return this->Get(value, &Proxy::get_TypeName);
  }
  HRESULT get_CreationTime(std::string* value) override {
    return this->Get(value, &Proxy::get_CreationTime);
  }
  HRESULT get_LastWriteTime(std::string* value) override {
    return this->Get(value, &Proxy::get_LastWriteTime);
  }
  HRESULT get_Size64(uint64_t* value) override { return this->Get(value, &Proxy::get_Size64); }
};

// The media fields a download file and a search result both have.
template <typename Base>
class CRemoteMediaT : public Base {
 public:
  using Base::Base;

  HRESULT get_Duration(std::string* value) override {
    return this->Get(value, &Base::Glue::get_Duration);
  }
  HRESULT get_Bitrate(int32_t* value) override {
    return this->Get(value, &Base::Glue::get_Bitrate);
  }
  HRESULT get_Album(std::string* value) override {
    return this->Get(value, &Base::Glue::get_Album);
  }
  HRESULT get_Artist(std::string* value) override {
    return this->Get(value, &Base::Glue::get_Artist);
  }
  HRESULT get_Title(std::string* value) override {
    return this->Get(value, &Base::Glue::get_Title);
  }
  HRESULT get_Codec(std::string* value) override {
    return this->Get(value, &Base::Glue::get_Codec);
  }
};

class CRemoteDownloadFile final
    : public CRemoteMediaT<CRemoteFileT<IP2PDownloadFile, TarnSvcBus::IP2PDownloadFile_proxy>> {
 public:
  using CRemoteMediaT::CRemoteMediaT;

  HRESULT get_AlternativeNames(std::string* value) override {
    return Get(value, &Glue::get_AlternativeNames);
  }
  HRESULT get_Nodes(int32_t* value) override { return Get(value, &Glue::get_Nodes); }
  HRESULT get_CompletedSize(int32_t* value) override {
    return Get(value, &Glue::get_CompletedSize);
  }
  HRESULT get_CompleteNodes(int32_t* value) override {
    return Get(value, &Glue::get_CompleteNodes);
  }
  HRESULT get_ReceivedSize(int32_t* value) override { return Get(value, &Glue::get_ReceivedSize); }
  HRESULT get_Speed(int32_t* value) override { return Get(value, &Glue::get_Speed); }
  HRESULT get_IsPaused(int16_t* value) override { return Get(value, &Glue::get_IsPaused); }
  HRESULT get_IsStopped(int16_t* value) override { return Get(value, &Glue::get_IsStopped); }
  HRESULT Pause() override { return Invoke(&Glue::Pause); }
  HRESULT Stop() override { return Invoke(&Glue::Stop); }
  HRESULT Resume() override { return Invoke(&Glue::Resume); }
  HRESULT Cancel() override { return Invoke(&Glue::Cancel); }
  HRESULT get_FailureReason(std::string* value) override {
    return Get(value, &Glue::get_FailureReason);
  }
  HRESULT get_CompletedSize64(uint64_t* value) override {
    return Get(value, &Glue::get_CompletedSize64);
  }
  HRESULT get_ReceivedSize64(uint64_t* value) override {
    return Get(value, &Glue::get_ReceivedSize64);
  }
};

class CRemoteSharedFile final
    : public CRemoteFileT<IP2PSharedFile, TarnSvcBus::IP2PSharedFile_proxy> {
 public:
  using CRemoteFileT::CRemoteFileT;
};

class CSearchResultFileListEvents
    : public CEventGlueT<TarnSvcBus::IP2PSearchResultFileList_proxy,
                         TarnSvcBus::_IP2PSearchResultFileListEvents_proxy,
                         _IP2PSearchResultFileListEvents, TarnSvcBus::SearchResultRecords_proxy> {
 public:
  using CEventGlueT::CEventGlueT;

 private:
  void onOnResultsCleared() override { Notify(&_IP2PSearchResultFileListEvents::OnResultsCleared); }
  void onOnResultAdded(const uint32_t& key) override {
    Notify(&_IP2PSearchResultFileListEvents::OnResultAdded, key);
  }
  void onOnResultChanged(const uint32_t& key) override {
    Notify(&_IP2PSearchResultFileListEvents::OnResultChanged, key);
  }
  void onOnSearchNotify() override { Notify(&_IP2PSearchResultFileListEvents::OnSearchNotify); }
};
using CSearchResultFileListGlue = CRegisteredGlue<CSearchResultFileListEvents>;

class CRemoteSearchResultFileList final
    : public CRemoteRecordsT<CRemoteListT<IP2PSearchResultFileList, IP2PSearchResultFile,
                                          CSearchResultFileListGlue,
                                          _IP2PSearchResultFileListEvents>,
                             SSearchResultRecord> {
 public:
  using CRemoteRecordsT::CRemoteRecordsT;

  HRESULT Download(int32_t key, const OptionalText& folder, const OptionalText& name) override {
    return Call([&] { return glue_->Download(key, VariantOf(folder), VariantOf(name)); });
  }
};

using CSearchResultFileGlue = CGlueT<TarnSvcBus::IP2PSearchResultFile_proxy>;

class CRemoteSearchResultFile final
    : public CRemoteMediaT<CRemoteT<IP2PSearchResultFile, CSearchResultFileGlue>> {
 public:
  using CRemoteMediaT::CRemoteMediaT;

  HRESULT get_Key(int32_t* value) override { return Get(value, &Glue::get_Key); }
  HRESULT get_Hash(std::string* value) override { return Get(value, &Glue::get_Hash); }
  HRESULT get_Name(std::string* value) override { return Get(value, &Glue::get_Name); }
  HRESULT get_AlternativeNames(std::string* value) override {
    return Get(value, &Glue::get_AlternativeNames);
  }
  HRESULT get_Size(int32_t* value) override { return Get(value, &Glue::get_Size); }
  HRESULT get_Format(std::string* value) override { return Get(value, &Glue::get_Format); }
  HRESULT get_Tag5Value(int32_t* value) override { return Get(value, &Glue::get_Tag5Value); }
  HRESULT get_Nodes(int32_t* value) override { return Get(value, &Glue::get_Nodes); }
  HRESULT get_CompleteNodes(int32_t* value) override {
    return Get(value, &Glue::get_CompleteNodes);
  }
  HRESULT get_TypeName(std::string* value) override { return Get(value, &Glue::get_TypeName); }
  HRESULT get_Size64(uint64_t* value) override { return Get(value, &Glue::get_Size64); }
};

class CSearchRequestEvents
    : public CEventGlueT<TarnSvcBus::IP2PSearchRequest_proxy,
                         TarnSvcBus::_IP2PSearchRequestEvents_proxy, _IP2PSearchRequestEvents> {
 public:
  using CEventGlueT::CEventGlueT;

 private:
  void onOnSearchStarted() override { Notify(&_IP2PSearchRequestEvents::OnSearchStarted); }
  void onOnSearchNotify() override { Notify(&_IP2PSearchRequestEvents::OnSearchNotify); }
};
using CSearchRequestGlue = CRegisteredGlue<CSearchRequestEvents>;

class CRemoteSearchRequest final
    : public CRemotePointT<IP2PSearchRequest, CSearchRequestGlue, _IP2PSearchRequestEvents> {
 public:
  using CRemotePointT::CRemotePointT;

  HRESULT get_Keyword(std::string* value) override { return Get(value, &Glue::get_Keyword); }
  HRESULT put_Keyword(const std::string& value) override {
    return Invoke(&Glue::put_Keyword, value);
  }
  HRESULT get_FileType(std::string* value) override { return Get(value, &Glue::get_FileType); }
  HRESULT put_FileType(const std::string& value) override {
    return Invoke(&Glue::put_FileType, value);
  }
  HRESULT get_Extension(std::string* value) override { return Get(value, &Glue::get_Extension); }
  HRESULT put_Extension(const std::string& value) override {
    return Invoke(&Glue::put_Extension, value);
  }
  HRESULT get_MinSize(int32_t* value) override { return Get(value, &Glue::get_MinSize); }
  HRESULT put_MinSize(int32_t value) override { return Invoke(&Glue::put_MinSize, value); }
  HRESULT get_MaxSize(int32_t* value) override { return Get(value, &Glue::get_MaxSize); }
  HRESULT put_MaxSize(int32_t value) override { return Invoke(&Glue::put_MaxSize, value); }
  HRESULT get_Availability(int32_t* value) override { return Get(value, &Glue::get_Availability); }
  HRESULT put_Availability(int32_t value) override {
    return Invoke(&Glue::put_Availability, value);
  }
  HRESULT get_CompleteSources(int16_t* value) override {
    return Get(value, &Glue::get_CompleteSources);
  }
  HRESULT put_CompleteSources(int16_t value) override {
    return Invoke(&Glue::put_CompleteSources, value);
  }
  HRESULT get_MinBitrate(int32_t* value) override { return Get(value, &Glue::get_MinBitrate); }
  HRESULT put_MinBitrate(int32_t value) override { return Invoke(&Glue::put_MinBitrate, value); }
  HRESULT get_MinLength(int32_t* value) override { return Get(value, &Glue::get_MinLength); }
  HRESULT put_MinLength(int32_t value) override { return Invoke(&Glue::put_MinLength, value); }
  HRESULT get_Codec(std::string* value) override { return Get(value, &Glue::get_Codec); }
  HRESULT put_Codec(const std::string& value) override { return Invoke(&Glue::put_Codec, value); }
  HRESULT get_Title(std::string* value) override { return Get(value, &Glue::get_Title); }
  HRESULT put_Title(const std::string& value) override { return Invoke(&Glue::put_Title, value); }
  HRESULT get_Album(std::string* value) override { return Get(value, &Glue::get_Album); }
  HRESULT put_Album(const std::string& value) override { return Invoke(&Glue::put_Album, value); }
  HRESULT get_Artist(std::string* value) override { return Get(value, &Glue::get_Artist); }
  HRESULT put_Artist(const std::string& value) override { return Invoke(&Glue::put_Artist, value); }
  HRESULT Search() override { return Invoke(&Glue::Search); }
  HRESULT get_LastError(std::string* value) override { return Get(value, &Glue::get_LastError); }
  HRESULT get_MinSize64(uint64_t* value) override { return Get(value, &Glue::get_MinSize64); }
  HRESULT put_MinSize64(uint64_t value) override {
    return PutSize(value, &Glue::put_MinSize64, &Glue::put_MinSize);
  }
  HRESULT get_MaxSize64(uint64_t* value) override { return Get(value, &Glue::get_MaxSize64); }
  HRESULT put_MaxSize64(uint64_t value) override {
    return PutSize(value, &Glue::put_MaxSize64, &Glue::put_MaxSize);
  }

 private:
  // A service without the 64-bit slots still takes the bounds its 32-bit slots carry.
  template <typename Wide, typename Narrow>
  HRESULT PutSize(uint64_t value, Wide wide, Narrow narrow) {
    const HRESULT hr = Invoke(wide, value);
    if (hr != E_NOTIMPL || value > UINT32_MAX) return hr;
    return Invoke(narrow, static_cast<int32_t>(static_cast<uint32_t>(value)));
  }
};

}  // namespace OSTREL::COM
