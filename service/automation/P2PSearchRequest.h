// A search request as an automation object: its own parameter record (empty at first),
// `Search` to hand it to the search manager, and the search events of the one search
// manager (every request hears every search). Any thread.
#pragma once

#include <memory>
#include <mutex>

#include "engine/search/SearchParams.h"
#include "framework/CriticalSection.h"
#include "service/automation/ConnectionPoint.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

class CP2PSearchRequest : public IP2PSearchRequest {
 public:
  explicit CP2PSearchRequest(std::shared_ptr<SAutomationContext> context);
  ~CP2PSearchRequest() override;

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
  // E_INVALIDARG, with the reason kept for get_LastError, for a keyword the parser refuses
  // or an unknown file type; S_OK otherwise.
  HRESULT Search() override;
  HRESULT get_LastError(std::string* value) override;
  // Up to the largest file the network exchanges; E_INVALIDARG above it.
  HRESULT get_MinSize64(uint64_t* value) override;
  HRESULT put_MinSize64(uint64_t value) override;
  HRESULT get_MaxSize64(uint64_t* value) override;
  HRESULT put_MaxSize64(uint64_t value) override;

  HRESULT Advise(std::shared_ptr<_IP2PSearchRequestEvents> sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;

 private:
  template <typename T, typename Field>
  HRESULT Read(T* out, Field field) {
    if (out == nullptr) return E_POINTER;
    OSTREL::Process::CLock guard(lock_);
    *out = static_cast<T>(params_.*field);
    return S_OK;
  }
  template <typename T, typename Field>
  HRESULT Write(const T& value, Field field) {
    OSTREL::Process::CLock guard(lock_);
    using Stored = std::remove_reference_t<decltype(params_.*field)>;
    params_.*field = static_cast<Stored>(value);
    return S_OK;
  }

  using Params = P2P::Shared::Search::SearchParam::_tagStructSearchParams;
  // A bound above 32 bits reads as 0xFFFFFFFF on the 32-bit slots.
  HRESULT ReadNarrow(int32_t* out, uint64_t Params::*field);
  HRESULT WriteSize(uint64_t value, uint64_t Params::*field);

  std::shared_ptr<SAutomationContext> context_;
  std::shared_ptr<CConnectionPointT<_IP2PSearchRequestEvents>> connectionPoint_;
  OSTREL::Process::CMutex lock_;
  P2P::Shared::Search::SearchParam::_tagStructSearchParams params_ GUARDED_BY(lock_);
  std::string lastError_ GUARDED_BY(lock_);
};

}  // namespace OSTREL::COM
