#include "service/automation/P2PSearchRequest.h"

#include <algorithm>

#include "engine/protocol/Limits.h"
#include "engine/search/SearchManager.h"
#include "framework/CriticalSection.h"
#include "service/automation/SearchRequestFault.h"

namespace OSTREL::COM {
namespace {

using Params = P2P::Shared::Search::SearchParam::_tagStructSearchParams;

void DeliverRequestEvent(_IP2PSearchRequestEvents& sink, IEngineEventSubscriber::Kind kind,
                         uint32_t) {
  using Kind = IEngineEventSubscriber::Kind;
  if (kind == Kind::kStarted) sink.OnSearchStarted();
  if (kind == Kind::kNotify) sink.OnSearchNotify();
}

}  // namespace

CP2PSearchRequest::CP2PSearchRequest(std::shared_ptr<SAutomationContext> context)
    : context_(context),
      connectionPoint_(CConnectionPointT<_IP2PSearchRequestEvents>::Make(
          std::move(context), IEngineEventSubscriber::Source::kSearch, &DeliverRequestEvent)) {}

CP2PSearchRequest::~CP2PSearchRequest() { connectionPoint_->Close(); }

HRESULT CP2PSearchRequest::get_Keyword(std::string* value) { return Read(value, &Params::expression); }
HRESULT CP2PSearchRequest::put_Keyword(const std::string& value) { return Write(value, &Params::expression); }
HRESULT CP2PSearchRequest::get_FileType(std::string* value) { return Read(value, &Params::fileType); }
HRESULT CP2PSearchRequest::put_FileType(const std::string& value) { return Write(value, &Params::fileType); }
HRESULT CP2PSearchRequest::get_Extension(std::string* value) { return Read(value, &Params::format); }
HRESULT CP2PSearchRequest::put_Extension(const std::string& value) { return Write(value, &Params::format); }
HRESULT CP2PSearchRequest::get_MinSize(int32_t* value) {
  return ReadNarrow(value, &Params::minSize);
}
HRESULT CP2PSearchRequest::put_MinSize(int32_t value) { return Write(static_cast<uint32_t>(value), &Params::minSize); }
HRESULT CP2PSearchRequest::get_MaxSize(int32_t* value) {
  return ReadNarrow(value, &Params::maxSize);
}
HRESULT CP2PSearchRequest::put_MaxSize(int32_t value) { return Write(static_cast<uint32_t>(value), &Params::maxSize); }
HRESULT CP2PSearchRequest::get_MinSize64(uint64_t* value) { return Read(value, &Params::minSize); }
HRESULT CP2PSearchRequest::put_MinSize64(uint64_t value) {
  return WriteSize(value, &Params::minSize);
}
HRESULT CP2PSearchRequest::get_MaxSize64(uint64_t* value) { return Read(value, &Params::maxSize); }
HRESULT CP2PSearchRequest::put_MaxSize64(uint64_t value) {
  return WriteSize(value, &Params::maxSize);
}
HRESULT CP2PSearchRequest::get_Availability(int32_t* value) { return Read(value, &Params::sources); }
HRESULT CP2PSearchRequest::put_Availability(int32_t value) { return Write(value, &Params::sources); }
HRESULT CP2PSearchRequest::get_CompleteSources(int16_t* value) { return Read(value, &Params::completeSources); }
HRESULT CP2PSearchRequest::put_CompleteSources(int16_t value) { return Write(value, &Params::completeSources); }
HRESULT CP2PSearchRequest::get_MinBitrate(int32_t* value) { return Read(value, &Params::bitrate); }
HRESULT CP2PSearchRequest::put_MinBitrate(int32_t value) { return Write(value, &Params::bitrate); }
HRESULT CP2PSearchRequest::get_MinLength(int32_t* value) { return Read(value, &Params::length); }
HRESULT CP2PSearchRequest::put_MinLength(int32_t value) { return Write(value, &Params::length); }
HRESULT CP2PSearchRequest::get_Codec(std::string* value) { return Read(value, &Params::codec); }
HRESULT CP2PSearchRequest::put_Codec(const std::string& value) { return Write(value, &Params::codec); }
HRESULT CP2PSearchRequest::get_Title(std::string* value) { return Read(value, &Params::title); }
HRESULT CP2PSearchRequest::put_Title(const std::string& value) { return Write(value, &Params::title); }
HRESULT CP2PSearchRequest::get_Album(std::string* value) { return Read(value, &Params::album); }
HRESULT CP2PSearchRequest::put_Album(const std::string& value) { return Write(value, &Params::album); }
HRESULT CP2PSearchRequest::get_Artist(std::string* value) { return Read(value, &Params::artist); }
HRESULT CP2PSearchRequest::put_Artist(const std::string& value) { return Write(value, &Params::artist); }

HRESULT CP2PSearchRequest::ReadNarrow(int32_t* out, uint64_t Params::*field) {
  uint64_t whole = 0;
  const HRESULT hr = Read(&whole, field);
  if (hr == S_OK)
    *out = static_cast<int32_t>(static_cast<uint32_t>(std::min<uint64_t>(whole, UINT32_MAX)));
  return hr;
}

HRESULT CP2PSearchRequest::WriteSize(uint64_t value, uint64_t Params::*field) {
  if (value > P2P::Protocol::kMaxFileSize) return E_INVALIDARG;
  return Write(value, field);
}

HRESULT CP2PSearchRequest::Search() {
  auto* searches = context_->engine->Searches();
  if (searches == nullptr) return E_FAIL;
  Params params;
  {
    OSTREL::Process::CLock guard(lock_);
    params = params_;
  }
  const std::string fault = SearchRequestFault(params);
  {
    OSTREL::Process::CLock guard(lock_);
    lastError_ = fault;
  }
  if (!fault.empty()) return E_INVALIDARG;
  searches->Search(params);
  return S_OK;
}

HRESULT CP2PSearchRequest::get_LastError(std::string* value) {
  if (value == nullptr) return E_POINTER;
  OSTREL::Process::CLock guard(lock_);
  *value = lastError_;
  return S_OK;
}

HRESULT CP2PSearchRequest::Advise(std::shared_ptr<_IP2PSearchRequestEvents> sink,
                                  uint32_t* cookie) {
  return connectionPoint_->Advise(std::move(sink), cookie);
}

HRESULT CP2PSearchRequest::Unadvise(uint32_t cookie) { return connectionPoint_->Unadvise(cookie); }

}  // namespace OSTREL::COM
