// The connection point of one list object or search request: the advised sinks by cookie,
// and the relay from the engine's events to them. The relay subscribes to the engine while at
// least one sink is advised. An engine event is only posted to the executor (with a copy of
// the sinks), so the engine thread never waits for a client. Any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/protocol/Limits.h"
#include "framework/CriticalSection.h"
#include "service/automation/AutomationContext.h"
#include "service/automation/HResult.h"

namespace OSTREL::COM {

inline constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = static_cast<HRESULT>(0x80040201u);

template <typename Events>
class CConnectionPointT : public IEngineEventSubscriber,
                          public std::enable_shared_from_this<CConnectionPointT<Events>> {
 public:
  using Deliver = void (*)(Events& sink, Kind kind, uint32_t key);

  static std::shared_ptr<CConnectionPointT> Make(std::shared_ptr<SAutomationContext> context,
                                                 Source source, Deliver deliver) {
    return std::shared_ptr<CConnectionPointT>(
        new CConnectionPointT(std::move(context), source, deliver));
  }

  HRESULT Advise(std::shared_ptr<Events> sink, uint32_t* cookie) {
    if (cookie == nullptr) return E_POINTER;
    if (!sink) return E_INVALIDARG;
    bool first = false;
    {
      OSTREL::Process::CLock guard(lock_);
      if (sinks_.size() >= P2P::Protocol::kMaxEventSinks) return CONNECT_E_ADVISELIMIT;
      first = sinks_.empty();
      *cookie = nextCookie_++;
      sinks_.emplace(*cookie, std::move(sink));
    }
    if (first) context_->hub->Subscribe(this->shared_from_this());
    return S_OK;
  }

  // The engine events stop when the last sink leaves, not when any does: another sink of
  // the same object still wants them.
  HRESULT Unadvise(uint32_t cookie) {
    bool last = false;
    {
      OSTREL::Process::CLock guard(lock_);
      if (sinks_.erase(cookie) == 0) return CONNECT_E_NOCONNECTION;
      last = sinks_.empty();
    }
    if (last) context_->hub->Unsubscribe(this);
    return S_OK;
  }

  // Drops every sink; for the owner's destruction.
  void Close() {
    {
      OSTREL::Process::CLock guard(lock_);
      sinks_.clear();
    }
    context_->hub->Unsubscribe(this);
  }

  void OnEngineEvent(Source source, Kind kind, uint32_t key) override {
    if (source != source_) return;
    std::vector<std::shared_ptr<Events>> sinks;
    {
      OSTREL::Process::CLock guard(lock_);
      for (const auto& [cookie, sink] : sinks_) sinks.push_back(sink);
    }
    if (sinks.empty()) return;
    context_->executor->Post([sinks = std::move(sinks), deliver = deliver_, kind, key] {
      for (const auto& sink : sinks) deliver(*sink, kind, key);
    });
  }

 private:
  CConnectionPointT(std::shared_ptr<SAutomationContext> context, Source source, Deliver deliver)
      : context_(std::move(context)), source_(source), deliver_(deliver) {}

  std::shared_ptr<SAutomationContext> context_;
  Source source_;
  Deliver deliver_;
  OSTREL::Process::CMutex lock_;
  uint32_t nextCookie_ GUARDED_BY(lock_) = 1;
  std::map<uint32_t, std::shared_ptr<Events>> sinks_ GUARDED_BY(lock_);
};

}  // namespace OSTREL::COM
