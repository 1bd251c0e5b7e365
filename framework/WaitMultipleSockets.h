// One wait object of the socket multiplexer: a thread waiting with epoll on its sockets plus
// its own stop and set-changed events. An epoll set has no limit of its own, so one wait object
// serves as many sockets as the system lets a user watch unless its owner asks for fewer. Each
// ready socket is handed to the owner by its key. Add/Remove may be called from any thread;
// the owner retires a wait object that has no sockets left.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <unordered_set>

#include "framework/CriticalSection.h"
#include "framework/Event.h"
#include "framework/Reference.h"
#include "framework/Thread.h"

namespace OSTREL::Network::Socket {

class CEventSocketBase;

// The side of the manager a wait object calls back.
class IWaitMultipleSocketsOwner {
 public:
  virtual ~IWaitMultipleSocketsOwner() = default;
  virtual bool IsStopping() const = 0;
  virtual void OnSocketReady(uint64_t key, uint32_t readiness) = 0;
};

class CWaitMultipleSockets : public Process::CThreadImpl<CWaitMultipleSockets>,
                             public CReferenceT<CWaitMultipleSockets> {
 public:
  // Sockets one wait object takes by default: what the system lets one user watch with epoll
  // (fs.epoll.max_user_watches), less the stop and set-changed events.
  static size_t SystemCapacity();

  CWaitMultipleSockets(IWaitMultipleSocketsOwner& owner, size_t capacity);
  ~CWaitMultipleSockets() override;

  bool Start() override;
  bool Stop() override;
  unsigned Run() override;
  // Asks the thread to end without waiting for it (safe under the manager's lock).
  void RequestEnd();

  // Refused when stopping or full.
  bool Add(uint64_t key, CEventSocketBase& socket);
  // True when the key was held; the socket leaves the epoll set.
  bool Remove(uint64_t key, CEventSocketBase& socket);
  bool Holds(uint64_t key) const;
  size_t SocketCount() const { return count_.load(std::memory_order_acquire); }
  bool IsFull() const { return SocketCount() >= capacity_; }

 private:
  bool IsEnding() const { return ending_.load(std::memory_order_acquire); }

  IWaitMultipleSocketsOwner& owner_;
  const size_t capacity_;
  int epoll_ = -1;
  Process::CEvent stopEvent_{Process::CEvent::Reset::kManual};
  Process::CEvent changedEvent_{Process::CEvent::Reset::kAuto};
  // Set with the stop event: the thread tests it per ready socket without a system call.
  std::atomic<bool> ending_{false};
  mutable Process::CCriticalSection slotsLock_;
  std::unordered_set<uint64_t> keys_ GUARDED_BY(slotsLock_);
  std::atomic<size_t> count_{0};
};

}  // namespace OSTREL::Network::Socket
