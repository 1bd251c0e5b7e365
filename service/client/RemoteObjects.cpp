#include "service/client/RemoteObjects.h"

namespace OSTREL::COM {

namespace {

// The remote object of each interface a reply can name.
template <typename Interface>
struct SRemoteOf;
// clang-format off
template <> struct SRemoteOf<IP2PConfig> { using Type = CRemoteConfig; };
template <> struct SRemoteOf<IP2PServerList> { using Type = CRemoteServerList; };
template <> struct SRemoteOf<IP2PServer> { using Type = CRemoteServer; };
template <> struct SRemoteOf<IP2PDownloadFileList> { using Type = CRemoteDownloadFileList; };
template <> struct SRemoteOf<IP2PDownloadFile> { using Type = CRemoteDownloadFile; };
template <> struct SRemoteOf<IP2PSharedFileList> { using Type = CRemoteSharedFileList; };
template <> struct SRemoteOf<IP2PSharedFile> { using Type = CRemoteSharedFile; };
template <> struct SRemoteOf<IP2PSearchResultFileList> { using Type = CRemoteSearchResultFileList; };
template <> struct SRemoteOf<IP2PSearchResultFile> { using Type = CRemoteSearchResultFile; };
template <> struct SRemoteOf<IP2PSearchRequest> { using Type = CRemoteSearchRequest; };
// clang-format on

}  // namespace

template <typename Interface>
std::shared_ptr<Interface> CApiClient::Wrap(const sdbus::ObjectPath& path) {
  if (path == kNoObjectPath) return nullptr;
  return std::make_shared<typename SRemoteOf<Interface>::Type>(*this, path);
}

template std::shared_ptr<IP2PConfig> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PServerList> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PServer> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PDownloadFileList> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PDownloadFile> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PSharedFileList> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PSharedFile> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PSearchResultFileList> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PSearchResultFile> CApiClient::Wrap(const sdbus::ObjectPath&);
template std::shared_ptr<IP2PSearchRequest> CApiClient::Wrap(const sdbus::ObjectPath&);

}  // namespace OSTREL::COM
