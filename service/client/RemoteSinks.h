// The client side of a connection point: the local sinks of one remote object, advised on
// the service once for all of them. Same thread rule as the client.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "service/automation/ConnectionPoint.h"
#include "service/automation/HResult.h"

namespace OSTREL::COM {

template <typename Events>
class CRemoteSinks {
 public:
  template <typename RemoteAdvise>
  HRESULT Advise(std::shared_ptr<Events> sink, uint32_t* cookie, RemoteAdvise remoteAdvise) {
    if (cookie == nullptr) return E_POINTER;
    if (!sink) return E_INVALIDARG;
    if (sinks_.empty()) {
      const HRESULT hr = remoteAdvise();
      if (!Succeeded(hr)) return hr;
    }
    *cookie = nextCookie_++;
    sinks_.emplace(*cookie, std::move(sink));
    return S_OK;
  }

  template <typename RemoteUnadvise>
  HRESULT Unadvise(uint32_t cookie, RemoteUnadvise remoteUnadvise) {
    if (sinks_.erase(cookie) == 0) return CONNECT_E_NOCONNECTION;
    return sinks_.empty() ? remoteUnadvise() : S_OK;
  }

  std::vector<std::shared_ptr<Events>> Snapshot() const {
    std::vector<std::shared_ptr<Events>> sinks;
    for (const auto& [cookie, sink] : sinks_) sinks.push_back(sink);
    return sinks;
  }

 private:
  uint32_t nextCookie_ = 1;
  std::map<uint32_t, std::shared_ptr<Events>> sinks_;
};

}  // namespace OSTREL::COM
