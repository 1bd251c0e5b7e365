// The idle sweep of the socket multiplexer: a thread that wakes once per period (on the tick
// source) and asks its manager to remove the objects that went idle or closed. Start and
// Stop are called by the manager.
#pragma once

#include <cstdint>

#include "framework/Event.h"
#include "framework/Thread.h"

namespace OSTREL::Network::Socket {

class IIdleSweeper {
 public:
  virtual ~IIdleSweeper() = default;
  virtual void SweepIdle() = 0;
};

class CElapsedTimeManager : public Process::CThreadImpl<CElapsedTimeManager> {
 public:
  explicit CElapsedTimeManager(uint32_t periodMilliseconds = 1000) : period_(periodMilliseconds) {}
  ~CElapsedTimeManager() override { Stop(); }

  bool Start(IIdleSweeper* sweeper);
  bool Stop() override;
  unsigned Run() override;

 private:
  using CThreadImpl::Start;

  const uint32_t period_;
  IIdleSweeper* sweeper_ = nullptr;
  Process::CEvent stopEvent_{Process::CEvent::Reset::kManual};
};

}  // namespace OSTREL::Network::Socket
