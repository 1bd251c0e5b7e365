// The automation interfaces of tarnsvc as C++ abstract classes, methods in their slot order.
// The same client code runs against the in-process objects and against the bus proxies, which
// implement these classes too. Object references are shared pointers (the caller's reference);
// an optional VARIANT argument is an optional string (a VT_BSTR, or absent). Out pointers may
// be null (the methods answer E_POINTER or E_INVALIDARG then). Every implementation is safe
// for concurrent calls; event sinks are called on one thread of the implementation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/automation/HResult.h"
#include "service/automation/ListRows.h"

namespace OSTREL::COM {

using OptionalText = std::optional<std::string>;

// The common root, so objects of any interface can be held alike.
class IP2PUnknown {
 public:
  virtual ~IP2PUnknown() = default;
};

// One connection point: `Advise` hands out a cookie and starts the events, `Unadvise` ends
// them for that sink.
template <typename Events>
class IP2PConnectionPointT {
 public:
  virtual ~IP2PConnectionPointT() = default;
  virtual HRESULT Advise(std::shared_ptr<Events> sink, uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(uint32_t cookie) = 0;
};

class _IP2PServerListEvents {
 public:
  virtual ~_IP2PServerListEvents() = default;
  virtual void OnServerAdded(uint32_t key) = 0;    // 1
  virtual void OnServerChanged(uint32_t key) = 0;  // 2
  virtual void OnServerRemoved(uint32_t key) = 0;  // 3
};

class _IP2PFileListEvents {
 public:
  virtual ~_IP2PFileListEvents() = default;
  virtual void OnFileAdded(uint32_t key) = 0;    // 1
  virtual void OnFileChanged(uint32_t key) = 0;  // 2
  virtual void OnFileRemoved(uint32_t key) = 0;  // 3
};
using _IP2PDownloadFileListEvents = _IP2PFileListEvents;
using _IP2PSharedFileListEvents = _IP2PFileListEvents;

class _IP2PSearchResultFileListEvents {
 public:
  virtual ~_IP2PSearchResultFileListEvents() = default;
  virtual void OnResultsCleared() = 0;             // 1
  virtual void OnResultAdded(uint32_t key) = 0;    // 2
  virtual void OnResultChanged(uint32_t key) = 0;  // 3
  virtual void OnSearchNotify() = 0;               // 4
};

class _IP2PSearchRequestEvents {
 public:
  virtual ~_IP2PSearchRequestEvents() = default;
  virtual void OnSearchStarted() = 0;  // 1
  virtual void OnSearchNotify() = 0;   // 2
};

class IP2PConfig : public IP2PUnknown {
 public:
  virtual HRESULT get_UserName(std::string* value) = 0;
  virtual HRESULT put_UserName(const std::string& value) = 0;
  virtual HRESULT get_TCPPort(int16_t* value) = 0;
  virtual HRESULT put_TCPPort(int16_t value) = 0;
  virtual HRESULT get_UDPPort(int16_t* value) = 0;
  virtual HRESULT put_UDPPort(int16_t value) = 0;
  virtual HRESULT get_ConfigPath(std::string* value) = 0;
  virtual HRESULT get_TempPath(std::string* value) = 0;
  virtual HRESULT get_SharedPath(std::string* value) = 0;
};

class IP2PServer : public IP2PUnknown {
 public:
  virtual HRESULT get_Key(int32_t* value) = 0;
  virtual HRESULT get_IP(int32_t* value) = 0;
  virtual HRESULT get_Port(int16_t* value) = 0;
  virtual HRESULT get_Name(std::string* value) = 0;
  virtual HRESULT get_Description(std::string* value) = 0;
  virtual HRESULT get_Users(int32_t* value) = 0;
  virtual HRESULT get_MaxUsers(int32_t* value) = 0;
  virtual HRESULT get_Files(int32_t* value) = 0;
  virtual HRESULT get_SoftFiles(int32_t* value) = 0;
  virtual HRESULT get_HardFiles(int32_t* value) = 0;
  virtual HRESULT get_Ping(int32_t* value) = 0;
  virtual HRESULT Reserved(const OptionalText& value) = 0;
};

class IP2PDownloadFile : public IP2PUnknown {
 public:
  virtual HRESULT get_Key(int32_t* value) = 0;
  virtual HRESULT get_FullPathName(std::string* value) = 0;
  virtual HRESULT get_Hash(std::string* value) = 0;
  virtual HRESULT get_Name(std::string* value) = 0;
  virtual HRESULT Rename(const std::string* name) = 0;
  virtual HRESULT get_AlternativeNames(std::string* value) = 0;
  virtual HRESULT get_Size(int32_t* value) = 0;
  virtual HRESULT get_TypeName(std::string* value) = 0;
  virtual HRESULT get_CreationTime(std::string* value) = 0;
  virtual HRESULT get_LastWriteTime(std::string* value) = 0;
  virtual HRESULT get_Nodes(int32_t* value) = 0;
  virtual HRESULT get_CompletedSize(int32_t* value) = 0;
  virtual HRESULT get_CompleteNodes(int32_t* value) = 0;
  virtual HRESULT get_Duration(std::string* value) = 0;
  virtual HRESULT get_Bitrate(int32_t* value) = 0;
  virtual HRESULT get_Album(std::string* value) = 0;
  virtual HRESULT get_Artist(std::string* value) = 0;
  virtual HRESULT get_Title(std::string* value) = 0;
  virtual HRESULT get_Codec(std::string* value) = 0;
  virtual HRESULT get_ReceivedSize(int32_t* value) = 0;
  virtual HRESULT get_Speed(int32_t* value) = 0;
  virtual HRESULT get_IsPaused(int16_t* value) = 0;
  virtual HRESULT get_IsStopped(int16_t* value) = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Resume() = 0;
  virtual HRESULT Cancel() = 0;
  // After the slots: why the download failed (its sources all disagree with its size, say);
  // empty while it goes on.
  virtual HRESULT get_FailureReason(std::string* value) = 0;
  // The whole values of get_Size, get_CompletedSize and get_ReceivedSize, whose slots answer
  // the low 32 bits of files above 4 GiB.
  virtual HRESULT get_Size64(uint64_t* value) = 0;
  virtual HRESULT get_CompletedSize64(uint64_t* value) = 0;
  virtual HRESULT get_ReceivedSize64(uint64_t* value) = 0;
};

class IP2PSharedFile : public IP2PUnknown {
 public:
  virtual HRESULT get_Key(int32_t* value) = 0;
  virtual HRESULT get_FullPathName(std::string* value) = 0;
  virtual HRESULT get_Hash(std::string* value) = 0;
  virtual HRESULT get_Name(std::string* value) = 0;
  virtual HRESULT Rename(const std::string* name) = 0;
  virtual HRESULT get_Size(int32_t* value) = 0;
  virtual HRESULT get_TypeName(std::string* value) = 0;
  virtual HRESULT get_CreationTime(std::string* value) = 0;
  virtual HRESULT get_LastWriteTime(std::string* value) = 0;
  // After the slots: the whole size; get_Size answers its low 32 bits.
  virtual HRESULT get_Size64(uint64_t* value) = 0;
};

class IP2PSearchResultFile : public IP2PUnknown {
 public:
  virtual HRESULT get_Key(int32_t* value) = 0;
  virtual HRESULT get_Hash(std::string* value) = 0;
  virtual HRESULT get_Name(std::string* value) = 0;
  virtual HRESULT get_AlternativeNames(std::string* value) = 0;
  virtual HRESULT get_Size(int32_t* value) = 0;
  virtual HRESULT get_Format(std::string* value) = 0;
  virtual HRESULT get_Tag5Value(int32_t* value) = 0;
  virtual HRESULT get_Nodes(int32_t* value) = 0;
  virtual HRESULT get_CompleteNodes(int32_t* value) = 0;
  virtual HRESULT get_TypeName(std::string* value) = 0;
  virtual HRESULT get_Duration(std::string* value) = 0;
  virtual HRESULT get_Bitrate(int32_t* value) = 0;
  virtual HRESULT get_Album(std::string* value) = 0;
  virtual HRESULT get_Artist(std::string* value) = 0;
  virtual HRESULT get_Title(std::string* value) = 0;
  virtual HRESULT get_Codec(std::string* value) = 0;
  // After the slots: the whole size; get_Size answers its low 32 bits.
  virtual HRESULT get_Size64(uint64_t* value) = 0;
};

// The four methods every collection starts with; `get__NewEnum` is not implemented.
template <typename Item>
class IP2PCollectionT : public IP2PUnknown {
 public:
  virtual HRESULT get_Item(int32_t index, std::shared_ptr<Item>* item) = 0;
  virtual HRESULT get__NewEnum(std::shared_ptr<IP2PUnknown>* enumerator) = 0;
  virtual HRESULT get_Count(int32_t* count) = 0;
  virtual HRESULT get_ItemByKey(int32_t key, std::shared_ptr<Item>* item) = 0;
};

// The lists' bulk listing, after their slots: every element's row in one call, in list
// order; the whole list or a failure, never part of it. Rows hold sizes whole: on the bus the
// file lists answer them in GetRows64, and their low 32 bits in GetRows.
class IP2PServerList : public IP2PCollectionT<IP2PServer>,
                       public IP2PConnectionPointT<_IP2PServerListEvents> {
 public:
  virtual HRESULT GetRows(std::vector<SServerRowData>* rows) = 0;
};

class IP2PDownloadFileList : public IP2PCollectionT<IP2PDownloadFile>,
                             public IP2PConnectionPointT<_IP2PDownloadFileListEvents> {
 public:
  virtual HRESULT Add(const OptionalText& item) = 0;
  virtual HRESULT Remove(const OptionalText& item) = 0;
  virtual HRESULT GetRows(std::vector<SDownloadRowData>* rows) = 0;
};

class IP2PSharedFileList : public IP2PCollectionT<IP2PSharedFile>,
                           public IP2PConnectionPointT<_IP2PSharedFileListEvents> {
 public:
  virtual HRESULT Add(const OptionalText& item) = 0;
  virtual HRESULT Remove(const OptionalText& item) = 0;
  virtual HRESULT GetRows(std::vector<SSharedRowData>* rows) = 0;
};

class IP2PSearchResultFileList : public IP2PCollectionT<IP2PSearchResultFile>,
                                 public IP2PConnectionPointT<_IP2PSearchResultFileListEvents> {
 public:
  virtual HRESULT Download(int32_t key, const OptionalText& folder, const OptionalText& name) = 0;
};

class IP2PSearchRequest : public IP2PUnknown,
                          public IP2PConnectionPointT<_IP2PSearchRequestEvents> {
 public:
  virtual HRESULT get_Keyword(std::string* value) = 0;
  virtual HRESULT put_Keyword(const std::string& value) = 0;
  virtual HRESULT get_FileType(std::string* value) = 0;
  virtual HRESULT put_FileType(const std::string& value) = 0;
  virtual HRESULT get_Extension(std::string* value) = 0;
  virtual HRESULT put_Extension(const std::string& value) = 0;
  virtual HRESULT get_MinSize(int32_t* value) = 0;
  virtual HRESULT put_MinSize(int32_t value) = 0;
  virtual HRESULT get_MaxSize(int32_t* value) = 0;
  virtual HRESULT put_MaxSize(int32_t value) = 0;
  virtual HRESULT get_Availability(int32_t* value) = 0;
  virtual HRESULT put_Availability(int32_t value) = 0;
  virtual HRESULT get_CompleteSources(int16_t* value) = 0;
  virtual HRESULT put_CompleteSources(int16_t value) = 0;
  virtual HRESULT get_MinBitrate(int32_t* value) = 0;
  virtual HRESULT put_MinBitrate(int32_t value) = 0;
  virtual HRESULT get_MinLength(int32_t* value) = 0;
  virtual HRESULT put_MinLength(int32_t value) = 0;
  virtual HRESULT get_Codec(std::string* value) = 0;
  virtual HRESULT put_Codec(const std::string& value) = 0;
  virtual HRESULT get_Title(std::string* value) = 0;
  virtual HRESULT put_Title(const std::string& value) = 0;
  virtual HRESULT get_Album(std::string* value) = 0;
  virtual HRESULT put_Album(const std::string& value) = 0;
  virtual HRESULT get_Artist(std::string* value) = 0;
  virtual HRESULT put_Artist(const std::string& value) = 0;
  virtual HRESULT Search() = 0;
  // After the slots: why the last Search did not start (the parser's reason, an unknown file
  // type); empty once one started.
  virtual HRESULT get_LastError(std::string* value) = 0;
  // After the slots: the size bounds whole, up to the largest file the network exchanges
  // (E_INVALIDARG above it); 0 is no bound. get_MinSize and get_MaxSize answer a bound above
  // 32 bits as 0xFFFFFFFF.
  virtual HRESULT get_MinSize64(uint64_t* value) = 0;
  virtual HRESULT put_MinSize64(uint64_t value) = 0;
  virtual HRESULT get_MaxSize64(uint64_t* value) = 0;
  virtual HRESULT put_MaxSize64(uint64_t value) = 0;
};

class IP2PServiceManager : public IP2PUnknown {
 public:
  virtual HRESULT get_ServerList(std::shared_ptr<IP2PServerList>* list) = 0;
  virtual HRESULT get_SharedFileList(std::shared_ptr<IP2PSharedFileList>* list) = 0;
  virtual HRESULT get_DownloadFileList(std::shared_ptr<IP2PDownloadFileList>* list) = 0;
  virtual HRESULT get_Config(std::shared_ptr<IP2PConfig>* config) = 0;
  virtual HRESULT get_SearchRequest(std::shared_ptr<IP2PSearchRequest>* request) = 0;
  virtual HRESULT get_SearchResultFileList(std::shared_ptr<IP2PSearchResultFileList>* list) = 0;
  virtual HRESULT AddDownload(const std::string* hash, int32_t size, const OptionalText& folder,
                              const OptionalText& name) = 0;
  // After the slots: AddDownload with the whole size, up to the largest file the network
  // exchanges. When the download cannot start, `reason` (may be null) says why.
  virtual HRESULT AddDownload64(const std::string* hash, uint64_t size, const OptionalText& folder,
                                const OptionalText& name, std::string* reason) = 0;
};

}  // namespace OSTREL::COM
