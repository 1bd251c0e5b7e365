// The exported object of each automation interface: one D-Bus method per slot, each
// forwarding to the in-process object and answering its HRESULT first. Object results are
// exported for the caller; Advise installs a sink that turns events into signals. Bus thread
// only.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "framework/CriticalSection.h"
#include "service/automation/FileRecords.h"
#include "service/automation/P2PConnection.h"
#include "service/client/RecordWire.h"
#include "service/dbus/ApiBus.h"
#include "service/dbus/ExportedObject.h"
#include "service/dbus/SignalSinks.h"
#include "service/dbus/WireRows.h"

namespace OSTREL::COM {

namespace TarnSvcBus = com::ostrel::TarnSvc;

// The service manager's object also carries the connection interface of the command line.
class CExportedServiceManager final
    : public CExportedT<IP2PServiceManager, TarnSvcBus::IP2PServiceManager_adaptor,
                        TarnSvcBus::Connection_adaptor> {
 public:
  CExportedServiceManager(CApiBus& bus, sdbus::IConnection& connection, std::string path,
                          std::shared_ptr<IP2PServiceManager> impl,
                          std::shared_ptr<IP2PConnection> serverConnection)
      : CExportedT(bus, 0, std::string(), connection, std::move(path), std::move(impl)),
        serverConnection_(std::move(serverConnection)) {}
  ~CExportedServiceManager() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, bool, std::string, std::string, uint32_t, bool, uint32_t, uint32_t>
  GetConnectionState() override;
  int32_t AddServer(const std::string& address) override;
  int32_t RemoveServer(const std::string& address) override;
  int32_t ConnectServer(const std::string& address) override;
  std::tuple<int32_t, uint64_t, uint64_t, uint64_t, uint64_t> GetTransferTotals() override;
  std::tuple<int32_t, std::vector<sdbus::Struct<std::string, std::string, std::string, std::string,
                                                bool, uint32_t, uint32_t, uint64_t, double>>>
  GetUploadQueue() override;

  std::shared_ptr<IP2PConnection> serverConnection_;

  // A client's first call reaches the service manager, so each of its methods counts the caller.
  template <typename C, typename T>
  std::tuple<int32_t, sdbus::ObjectPath> Touched(HRESULT (C::*getter)(std::shared_ptr<T>*)) {
    Bus().Touch(Caller());
    return GetExported(getter);
  }
  std::tuple<int32_t, sdbus::ObjectPath> get_ServerList() override {
    return Touched(&IP2PServiceManager::get_ServerList);
  }
  std::tuple<int32_t, sdbus::ObjectPath> get_SharedFileList() override {
    return Touched(&IP2PServiceManager::get_SharedFileList);
  }
  std::tuple<int32_t, sdbus::ObjectPath> get_DownloadFileList() override {
    return Touched(&IP2PServiceManager::get_DownloadFileList);
  }
  std::tuple<int32_t, sdbus::ObjectPath> get_Config() override {
    return Touched(&IP2PServiceManager::get_Config);
  }
  std::tuple<int32_t, sdbus::ObjectPath> get_SearchRequest() override {
    return Touched(&IP2PServiceManager::get_SearchRequest);
  }
  std::tuple<int32_t, sdbus::ObjectPath> get_SearchResultFileList() override {
    return Touched(&IP2PServiceManager::get_SearchResultFileList);
  }
  int32_t AddDownload(const std::string& hash, const int32_t& size, const sdbus::Variant& folder,
                      const sdbus::Variant& name) override {
    Bus().Touch(Caller());
    return impl_->AddDownload(&hash, size, TextOf(folder), TextOf(name));
  }
  std::tuple<int32_t, std::string> AddDownload64(const std::string& hash, const uint64_t& size,
                                                 const sdbus::Variant& folder,
                                                 const sdbus::Variant& name) override {
    Bus().Touch(Caller());
    std::string reason;
    const HRESULT hr = impl_->AddDownload64(&hash, size, TextOf(folder), TextOf(name), &reason);
    return {hr, reason};
  }
};

class CExportedConfig final : public CExportedT<IP2PConfig, TarnSvcBus::IP2PConfig_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedConfig() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, std::string> get_UserName() override {
    return Get(&IP2PConfig::get_UserName);
  }
  int32_t put_UserName(const std::string& value) override { return impl_->put_UserName(value); }
  std::tuple<int32_t, int16_t> get_TCPPort() override { return Get(&IP2PConfig::get_TCPPort); }
  int32_t put_TCPPort(const int16_t& value) override { return impl_->put_TCPPort(value); }
  std::tuple<int32_t, int16_t> get_UDPPort() override { return Get(&IP2PConfig::get_UDPPort); }
  int32_t put_UDPPort(const int16_t& value) override { return impl_->put_UDPPort(value); }
  std::tuple<int32_t, std::string> get_ConfigPath() override {
    return Get(&IP2PConfig::get_ConfigPath);
  }
  std::tuple<int32_t, std::string> get_TempPath() override {
    return Get(&IP2PConfig::get_TempPath);
  }
  std::tuple<int32_t, std::string> get_SharedPath() override {
    return Get(&IP2PConfig::get_SharedPath);
  }
};

// An exported object with a connection point; Advise installs a Signals sink on it.
template <typename Impl, template <typename> class Signals, typename Adaptor,
          typename EventsAdaptor, typename... Extra>
class CExportedPointT : public CExportedT<Impl, Adaptor, TarnSvcBus::IConnectionPoint_adaptor,
                                          EventsAdaptor, Extra...> {
 public:
  using CExportedT<Impl, Adaptor, TarnSvcBus::IConnectionPoint_adaptor, EventsAdaptor,
                   Extra...>::CExportedT;

  // The event as a signal addressed to the object's owner: a broadcast would reach every
  // client the bus lets listen, and tell each what the others search and download.
  template <typename... Args>
  void EmitToOwner(const char* name, const Args&... args) {
    auto signal = this->getObject().createSignal(EventsAdaptor::INTERFACE_NAME, name);
    if (!this->Owner().empty()) signal.setDestination(this->Owner());
    ((signal << args), ...);
    this->getObject().emitSignal(signal);
  }

 private:
  std::tuple<int32_t, uint32_t> Advise() override {
    auto sink =
        std::make_shared<Signals<CExportedPointT>>(this->template WeakSelf<CExportedPointT>());
    uint32_t cookie = 0;
    const HRESULT hr = this->impl_->Advise(std::move(sink), &cookie);
    return {hr, cookie};
  }
  int32_t Unadvise(const uint32_t& cookie) override { return this->impl_->Unadvise(cookie); }
};

// An exported collection with its connection point.
template <typename Impl, template <typename> class Signals, typename Adaptor,
          typename EventsAdaptor, typename... Extra>
class CExportedListT : public CExportedPointT<Impl, Signals, Adaptor, EventsAdaptor, Extra...> {
 public:
  using CExportedPointT<Impl, Signals, Adaptor, EventsAdaptor, Extra...>::CExportedPointT;

 private:
  std::tuple<int32_t, sdbus::ObjectPath> get_Item(const int32_t& index) override {
    return this->GetExported(&Impl::get_Item, index);
  }
  std::tuple<int32_t, sdbus::ObjectPath> get__NewEnum() override { return {E_NOTIMPL, kNoObject}; }
  std::tuple<int32_t, int32_t> get_Count() override { return this->Get(&Impl::get_Count); }
  std::tuple<int32_t, sdbus::ObjectPath> get_ItemByKey(const int32_t& key) override {
    return this->GetExported(&Impl::get_ItemByKey, key);
  }
};

// The records interface of a file list, beyond its slots (its adaptor is among Base's).
template <typename Base, typename Record>
class CExportedRecordsT : public Base {
 public:
  using Base::Base;

 private:
  using Wire = RecordWire<Record>;
  using NarrowWire = NarrowRecordWire<Record>;

  std::tuple<int32_t, std::vector<NarrowWire>> GetRecords() override {
    return Answer(&ToNarrowWire<Record>, All());
  }
  std::tuple<int32_t, std::vector<NarrowWire>> GetRecordsByKey(
      const std::vector<uint32_t>& keys) override {
    return Answer(&ToNarrowWire<Record>, ByKey(keys));
  }
  std::tuple<int32_t, std::vector<Wire>> GetRecords64() override {
    return Answer(&ToWire<Record>, All());
  }
  std::tuple<int32_t, std::vector<Wire>> GetRecordsByKey64(
      const std::vector<uint32_t>& keys) override {
    return Answer(&ToWire<Record>, ByKey(keys));
  }

  static auto All() {
    return [](IP2PRecordsT<Record>& list, std::vector<Record>* records) {
      return list.GetRecords(records);
    };
  }
  static auto ByKey(const std::vector<uint32_t>& keys) {
    return [&keys](IP2PRecordsT<Record>& list, std::vector<Record>* records) {
      return list.GetRecordsByKey(keys, records);
    };
  }

  template <typename Form, typename Read>
  std::tuple<int32_t, std::vector<Form>> Answer(Form (*convert)(const Record&), Read read) {
    auto* list = dynamic_cast<IP2PRecordsT<Record>*>(this->impl_.get());
    if (list == nullptr) return {E_NOTIMPL, {}};
    std::vector<Record> records;
    const HRESULT hr = read(*list, &records);
    std::vector<Form> wire;
    wire.reserve(records.size());
    for (const Record& record : records) wire.push_back(convert(record));
    return {hr, std::move(wire)};
  }
};

class CExportedServerList final
    : public CExportedListT<IP2PServerList, CServerListSignals, TarnSvcBus::IP2PServerList_adaptor,
                            TarnSvcBus::_IP2PServerListEvents_adaptor> {
 public:
  using CExportedListT::CExportedListT;
  ~CExportedServerList() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, std::vector<WireServerRow>> GetRows() override { return WireRowsOf(*impl_); }
};

class CExportedServer final : public CExportedT<IP2PServer, TarnSvcBus::IP2PServer_adaptor> {
 public:
  using CExportedT::CExportedT;
  ~CExportedServer() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, int32_t> get_Key() override { return Get(&IP2PServer::get_Key); }
  std::tuple<int32_t, int32_t> get_IP() override { return Get(&IP2PServer::get_IP); }
  std::tuple<int32_t, int16_t> get_Port() override { return Get(&IP2PServer::get_Port); }
  std::tuple<int32_t, std::string> get_Name() override { return Get(&IP2PServer::get_Name); }
  std::tuple<int32_t, std::string> get_Description() override {
    return Get(&IP2PServer::get_Description);
  }
  std::tuple<int32_t, int32_t> get_Users() override { return Get(&IP2PServer::get_Users); }
  std::tuple<int32_t, int32_t> get_MaxUsers() override { return Get(&IP2PServer::get_MaxUsers); }
  std::tuple<int32_t, int32_t> get_Files() override { return Get(&IP2PServer::get_Files); }
  std::tuple<int32_t, int32_t> get_SoftFiles() override { return Get(&IP2PServer::get_SoftFiles); }
  std::tuple<int32_t, int32_t> get_HardFiles() override { return Get(&IP2PServer::get_HardFiles); }
  std::tuple<int32_t, int32_t> get_Ping() override { return Get(&IP2PServer::get_Ping); }
  int32_t Reserved(const sdbus::Variant& value) override { return impl_->Reserved(TextOf(value)); }
};

// The download and shared file lists have the same events, the same Add and Remove, and
// records.
template <typename Impl, typename Adaptor, typename EventsAdaptor, typename RecordsAdaptor,
          typename Record>
class CExportedFileListT final
    : public CExportedRecordsT<
          CExportedListT<Impl, CFileListSignals, Adaptor, EventsAdaptor, RecordsAdaptor>, Record> {
 public:
  using CExportedRecordsT<CExportedListT<Impl, CFileListSignals, Adaptor, EventsAdaptor,
                                         RecordsAdaptor>,
                          Record>::CExportedRecordsT;
  ~CExportedFileListT() override { this->unregisterAdaptor(); }

 private:
  int32_t Add(const sdbus::Variant& item) override { return this->impl_->Add(TextOf(item)); }
  int32_t Remove(const sdbus::Variant& item) override { return this->impl_->Remove(TextOf(item)); }
  auto GetRows() -> decltype(WireRowsOf(std::declval<Impl&>())) override {
    return WireRowsOf(*this->impl_);
  }
  auto GetRows64() -> decltype(WireRowsOf64(std::declval<Impl&>())) override {
    return WireRowsOf64(*this->impl_);
  }
};

using CExportedDownloadFileList =
    CExportedFileListT<IP2PDownloadFileList, TarnSvcBus::IP2PDownloadFileList_adaptor,
                       TarnSvcBus::_IP2PDownloadFileListEvents_adaptor,
                       TarnSvcBus::DownloadRecords_adaptor, SDownloadRecord>;
using CExportedSharedFileList =
    CExportedFileListT<IP2PSharedFileList, TarnSvcBus::IP2PSharedFileList_adaptor,
                       TarnSvcBus::_IP2PSharedFileListEvents_adaptor,
                       TarnSvcBus::SharedFileRecords_adaptor, SSharedFileRecord>;

// What a download file and a shared file both have.
template <typename Impl, typename Adaptor>
class CExportedFileT : public CExportedT<Impl, Adaptor> {
 public:
  using CExportedT<Impl, Adaptor>::CExportedT;

 private:
  std::tuple<int32_t, int32_t> get_Key() override { return this->Get(&Impl::get_Key); }
  std::tuple<int32_t, std::string> get_FullPathName() override {
    return this->Get(&Impl::get_FullPathName);
  }
  std::tuple<int32_t, std::string> get_Hash() override { return this->Get(&Impl::get_Hash); }
  std::tuple<int32_t, std::string> get_Name() override { return this->Get(&Impl::get_Name); }
  int32_t Rename(const std::string& name) override { return this->impl_->Rename(&name); }
  std::tuple<int32_t, int32_t> get_Size() override { return this->Get(&Impl::get_Size); }
  std::tuple<int32_t, std::string> get_TypeName() override {
    return this->Get(&Impl::get_TypeName);
  }
  std::tuple<int32_t, std::string> get_CreationTime() override {
    return this->Get(&Impl::get_CreationTime);
  }
  std::tuple<int32_t, std::string> get_LastWriteTime() override {
    return this->Get(&Impl::get_LastWriteTime);
  }
  std::tuple<int32_t, uint64_t> get_Size64() override { return this->Get(&Impl::get_Size64); }
};

// The media fields a download file and a search result both have.
template <typename Base>
class CExportedMediaT : public Base {
 public:
  using Base::Base;

 private:
  using File = typename Base::Interface;
  std::tuple<int32_t, std::string> get_Duration() override {
    return this->Get(&File::get_Duration);
  }
  std::tuple<int32_t, int32_t> get_Bitrate() override { return this->Get(&File::get_Bitrate); }
  std::tuple<int32_t, std::string> get_Album() override { return this->Get(&File::get_Album); }
  std::tuple<int32_t, std::string> get_Artist() override { return this->Get(&File::get_Artist); }
  std::tuple<int32_t, std::string> get_Title() override { return this->Get(&File::get_Title); }
  std::tuple<int32_t, std::string> get_Codec() override { return this->Get(&File::get_Codec); }
};

class CExportedDownloadFile final
    : public CExportedMediaT<
          CExportedFileT<IP2PDownloadFile, TarnSvcBus::IP2PDownloadFile_adaptor>> {
 public:
  using CExportedMediaT::CExportedMediaT;
  ~CExportedDownloadFile() override { unregisterAdaptor(); }

 private:
  std::tuple<int32_t, std::string> get_AlternativeNames() override {
    return Get(&IP2PDownloadFile::get_AlternativeNames);
  }
  std::tuple<int32_t, int32_t> get_Nodes() override { return Get(&IP2PDownloadFile::get_Nodes); }
  std::tuple<int32_t, int32_t> get_CompletedSize() override {
    return Get(&IP2PDownloadFile::get_CompletedSize);
  }
  std::tuple<int32_t, int32_t> get_CompleteNodes() override {
    return Get(&IP2PDownloadFile::get_CompleteNodes);
  }
  std::tuple<int32_t, int32_t> get_ReceivedSize() override {
    return Get(&IP2PDownloadFile::get_ReceivedSize);
  }
  std::tuple<int32_t, int32_t> get_Speed() override { return Get(&IP2PDownloadFile::get_Speed); }
  std::tuple<int32_t, int16_t> get_IsPaused() override {
    return Get(&IP2PDownloadFile::get_IsPaused);
  }
  std::tuple<int32_t, int16_t> get_IsStopped() override {
    return Get(&IP2PDownloadFile::get_IsStopped);
  }
  int32_t Pause() override { return impl_->Pause(); }
  int32_t Stop() override { return impl_->Stop(); }
  int32_t Resume() override { return impl_->Resume(); }
  int32_t Cancel() override { return impl_->Cancel(); }
  std::tuple<int32_t, std::string> get_FailureReason() override {
    return Get(&IP2PDownloadFile::get_FailureReason);
  }
  std::tuple<int32_t, uint64_t> get_CompletedSize64() override {
    return Get(&IP2PDownloadFile::get_CompletedSize64);
  }
  std::tuple<int32_t, uint64_t> get_ReceivedSize64() override {
    return Get(&IP2PDownloadFile::get_ReceivedSize64);
  }
};

class CExportedSharedFile final
    : public CExportedFileT<IP2PSharedFile, TarnSvcBus::IP2PSharedFile_adaptor> {
 public:
  using CExportedFileT::CExportedFileT;
  ~CExportedSharedFile() override { unregisterAdaptor(); }
};

class CExportedSearchResultFileList final
    : public CExportedRecordsT<CExportedListT<IP2PSearchResultFileList, CResultListSignals,
                                              TarnSvcBus::IP2PSearchResultFileList_adaptor,
                                              TarnSvcBus::_IP2PSearchResultFileListEvents_adaptor,
                                              TarnSvcBus::SearchResultRecords_adaptor>,
                               SSearchResultRecord> {
 public:
  using CExportedRecordsT::CExportedRecordsT;
  ~CExportedSearchResultFileList() override { unregisterAdaptor(); }

 private:
  int32_t Download(const int32_t& key, const sdbus::Variant& folder,
                   const sdbus::Variant& name) override {
    return impl_->Download(key, TextOf(folder), TextOf(name));
  }
};

class CExportedSearchResultFile final
    : public CExportedMediaT<
          CExportedT<IP2PSearchResultFile, TarnSvcBus::IP2PSearchResultFile_adaptor>> {
 public:
  using CExportedMediaT::CExportedMediaT;
  ~CExportedSearchResultFile() override { unregisterAdaptor(); }

 private:
  using File = IP2PSearchResultFile;
  std::tuple<int32_t, int32_t> get_Key() override { return Get(&File::get_Key); }
  std::tuple<int32_t, std::string> get_Hash() override { return Get(&File::get_Hash); }
  std::tuple<int32_t, std::string> get_Name() override { return Get(&File::get_Name); }
  std::tuple<int32_t, std::string> get_AlternativeNames() override {
    return Get(&File::get_AlternativeNames);
  }
  std::tuple<int32_t, int32_t> get_Size() override { return Get(&File::get_Size); }
  std::tuple<int32_t, std::string> get_Format() override { return Get(&File::get_Format); }
  std::tuple<int32_t, int32_t> get_Tag5Value() override { return Get(&File::get_Tag5Value); }
  std::tuple<int32_t, int32_t> get_Nodes() override { return Get(&File::get_Nodes); }
  std::tuple<int32_t, int32_t> get_CompleteNodes() override {
    return Get(&File::get_CompleteNodes);
  }
  std::tuple<int32_t, std::string> get_TypeName() override { return Get(&File::get_TypeName); }
  std::tuple<int32_t, uint64_t> get_Size64() override { return Get(&File::get_Size64); }
};

class CExportedSearchRequest final
    : public CExportedPointT<IP2PSearchRequest, CSearchRequestSignals,
                             TarnSvcBus::IP2PSearchRequest_adaptor,
                             TarnSvcBus::_IP2PSearchRequestEvents_adaptor> {
 public:
  using CExportedPointT::CExportedPointT;
  ~CExportedSearchRequest() override { unregisterAdaptor(); }

 private:
  using Request = IP2PSearchRequest;
  std::tuple<int32_t, std::string> get_Keyword() override { return Get(&Request::get_Keyword); }
  int32_t put_Keyword(const std::string& value) override { return impl_->put_Keyword(value); }
  std::tuple<int32_t, std::string> get_FileType() override { return Get(&Request::get_FileType); }
  int32_t put_FileType(const std::string& value) override { return impl_->put_FileType(value); }
  std::tuple<int32_t, std::string> get_Extension() override { return Get(&Request::get_Extension); }
  int32_t put_Extension(const std::string& value) override { return impl_->put_Extension(value); }
  std::tuple<int32_t, int32_t> get_MinSize() override { return Get(&Request::get_MinSize); }
  int32_t put_MinSize(const int32_t& value) override { return impl_->put_MinSize(value); }
  std::tuple<int32_t, int32_t> get_MaxSize() override { return Get(&Request::get_MaxSize); }
  int32_t put_MaxSize(const int32_t& value) override { return impl_->put_MaxSize(value); }
  std::tuple<int32_t, int32_t> get_Availability() override {
    return Get(&Request::get_Availability);
  }
  int32_t put_Availability(const int32_t& value) override { return impl_->put_Availability(value); }
  std::tuple<int32_t, int16_t> get_CompleteSources() override {
    return Get(&Request::get_CompleteSources);
  }
  int32_t put_CompleteSources(const int16_t& value) override {
    return impl_->put_CompleteSources(value);
  }
  std::tuple<int32_t, int32_t> get_MinBitrate() override { return Get(&Request::get_MinBitrate); }
  int32_t put_MinBitrate(const int32_t& value) override { return impl_->put_MinBitrate(value); }
  std::tuple<int32_t, int32_t> get_MinLength() override { return Get(&Request::get_MinLength); }
  int32_t put_MinLength(const int32_t& value) override { return impl_->put_MinLength(value); }
  std::tuple<int32_t, std::string> get_Codec() override { return Get(&Request::get_Codec); }
  int32_t put_Codec(const std::string& value) override { return impl_->put_Codec(value); }
  std::tuple<int32_t, std::string> get_Title() override { return Get(&Request::get_Title); }
  int32_t put_Title(const std::string& value) override { return impl_->put_Title(value); }
  std::tuple<int32_t, std::string> get_Album() override { return Get(&Request::get_Album); }
  int32_t put_Album(const std::string& value) override { return impl_->put_Album(value); }
  std::tuple<int32_t, std::string> get_Artist() override { return Get(&Request::get_Artist); }
  int32_t put_Artist(const std::string& value) override { return impl_->put_Artist(value); }
  int32_t Search() override { return impl_->Search(); }
  std::tuple<int32_t, std::string> get_LastError() override { return Get(&Request::get_LastError); }
  std::tuple<int32_t, uint64_t> get_MinSize64() override { return Get(&Request::get_MinSize64); }
  int32_t put_MinSize64(const uint64_t& value) override { return impl_->put_MinSize64(value); }
  std::tuple<int32_t, uint64_t> get_MaxSize64() override { return Get(&Request::get_MaxSize64); }
  int32_t put_MaxSize64(const uint64_t& value) override { return impl_->put_MaxSize64(value); }
};

// The exported object for an in-process object of each interface: declared only, for
// ExportedOf below.
CExportedConfig* ExportedFor(IP2PConfig*);
CExportedServerList* ExportedFor(IP2PServerList*);
CExportedServer* ExportedFor(IP2PServer*);
CExportedDownloadFileList* ExportedFor(IP2PDownloadFileList*);
CExportedDownloadFile* ExportedFor(IP2PDownloadFile*);
CExportedSharedFileList* ExportedFor(IP2PSharedFileList*);
CExportedSharedFile* ExportedFor(IP2PSharedFile*);
CExportedSearchResultFileList* ExportedFor(IP2PSearchResultFileList*);
CExportedSearchResultFile* ExportedFor(IP2PSearchResultFile*);
CExportedSearchRequest* ExportedFor(IP2PSearchRequest*);
template <typename Interface>
using ExportedOf = std::remove_pointer_t<decltype(ExportedFor(std::declval<Interface*>()))>;

template <typename Impl, typename... Adaptors>
int32_t CExportedT<Impl, Adaptors...>::Release() {
  return Bus().Release(Id(), Caller());
}

template <typename Impl, typename... Adaptors>
template <typename C, typename T>
std::tuple<int32_t, sdbus::ObjectPath> CExportedT<Impl, Adaptors...>::GetExported(
    HRESULT (C::*getter)(std::shared_ptr<T>*)) {
  std::shared_ptr<T> object;
  const HRESULT hr = (impl_.get()->*getter)(&object);
  return Bus().Export(hr, Caller(), object);
}

template <typename Impl, typename... Adaptors>
template <typename C, typename T>
std::tuple<int32_t, sdbus::ObjectPath> CExportedT<Impl, Adaptors...>::GetExported(
    HRESULT (C::*getter)(int32_t, std::shared_ptr<T>*), int32_t argument) {
  std::shared_ptr<T> object;
  const HRESULT hr = (impl_.get()->*getter)(argument, &object);
  return Bus().Export(hr, Caller(), object);
}

template <typename Interface>
std::tuple<int32_t, sdbus::ObjectPath> CApiBus::Export(HRESULT hr, const std::string& owner,
                                                       const std::shared_ptr<Interface>& object) {
  if (!Succeeded(hr) || !object) return {Succeeded(hr) ? E_FAIL : hr, kNoObject};
  OSTREL::Process::CLock guard(tableLock_);
  auto& owned = ClientLocked(owner);
  if (owned.size() >= maxObjectsPerClient_) return {E_OUTOFMEMORY, kNoObject};
  const uint64_t id = nextId_++;
  const std::string path = kObjectPathPrefix + std::to_string(id);
  try {
    objects_[id] =
        std::make_shared<ExportedOf<Interface>>(*this, id, owner, *connection_, path, object);
  } catch (const sdbus::Error&) {
    return {E_FAIL, kNoObject};
  }
  owned.insert(id);
  return {S_OK, sdbus::ObjectPath(path)};
}

}  // namespace OSTREL::COM
